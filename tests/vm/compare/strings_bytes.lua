-- byte-level string operations
local s = ""
for i = 65, 90 do s = s .. string.char(i) end
print(s, #s)
print(s:byte(1, 5))
print(string.char(s:byte(1, -1)) == s)
local bin = "\1\2\3\255\0\128"
print(#bin, bin:byte(4), bin:byte(5), bin:byte(6))
local t = {}
for c in ("hello"):gmatch(".") do t[#t + 1] = c:byte() end
print(table.concat(t, ","))
print(("abc"):rep(3):upper())
print(("MiXeD"):lower(), ("MiXeD"):upper())
print(("x"):byte(2), ("x"):byte(0))
print(("abcdef"):sub(2, -2), ("abcdef"):sub(-100, 2), ("abcdef"):sub(4, 3))
print(("long"):rep(10, "|"))
print(("a\nb"):find("\n"), ("tab\there"):match("\t(.*)"))
