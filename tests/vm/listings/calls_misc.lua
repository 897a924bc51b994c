-- calls with string and table arguments, nested calls, parenthesised calls
print "hello"
print { 1, 2 }
local s = string.format("%d %s", 1, "x")
local t = setmetatable({}, {__index = function(t, k) return k end})
local v = (t.foo)
local w = (print("a"))
local x = tostring(tonumber("10") + 1)
local function many() return 1, 2, 3 end
local y, z = many(), many()
print(many(), (many()))
print(s, v, w, x, y, z, select("#", many(), many()))
