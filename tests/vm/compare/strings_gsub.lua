-- gsub and gmatch
print(("hello world"):gsub("o", "0"))
print(("hello world"):gsub("o", "0", 1))
print(("hello world"):gsub("(%w+)", "<%1>"))
print(("hello world"):gsub("%w+", "%0 %0"))
print(("abc"):gsub("", "-"))
print(("hello"):gsub("l", {l = "L"}))
print(("x=1, y=2"):gsub("(%w+)=(%w+)", "%2=%1"))
print(("abc"):gsub("%w", function(c) return c:upper() .. "." end))
print(("abc"):gsub("%w", function(c) if c == "b" then return false end return "#" end))
print(("$name is $age"):gsub("%$(%w+)", {name = "Ann", age = 7}))
for w in ("one two three"):gmatch("%a+") do print(w) end
for k, v in ("a=1,b=2,c=3"):gmatch("(%w+)=(%w+)") do print(k, v) end
for p in ("abc"):gmatch("()") do io_x = p end
local n = 0 for _ in ("aaa"):gmatch("a*") do n = n + 1 end print(n)
print(("hello"):gsub("^h", "H"))
print(("hello"):gsub("o$", "O"))
print(("a,b,,c"):gsub(",", ";"))
print(("%d"):gsub("%%", "%%%%"))
