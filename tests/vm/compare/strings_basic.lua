-- string basics
local s = "Hello, World"
print(#s, s:len(), s:upper(), s:lower(), s:reverse())
print(s:sub(1, 5), s:sub(-5), s:sub(0), s:sub(8, 100), s:sub(5, 2) == "")
print(s:byte(1), s:byte(-1), s:byte(1, 3))
print(string.char(72, 105, 33))
print(("ab"):rep(3), ("ab"):rep(3, "-"), ("x"):rep(0))
print(("%d items"):format(5))
print(#("\0abc"), ("a\0b"):byte(2))
print("tab\tand\\slash", "quote\"s", 'single\'s')
print("\65\066\x43\z
       D")
print(tostring(12), tostring(-7), tostring(0.5), tostring(-0.25))
print(10 .. 20, 1 .. "", "n" .. 3)
print("10" + 5, "3" * "4", 2 ^ 3, 7 % 3, -7 % 3)
print(string.format("[%5s][%-5s][%.2s]", "ab", "ab", "abcdef"))
