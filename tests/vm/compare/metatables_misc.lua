-- gc mode, pairs/ipairs metamethods, tostring
local t = setmetatable({}, {__pairs = function(t) return function(_, k) if not k then return 1, "one" end end, t, nil end})
for k, v in pairs(t) do print("pairs", k, v) end
local u = setmetatable({}, {__ipairs = function(t) return function(_, i) if i < 3 then return i + 1, i * 2 end end, t, 0 end})
for i, v in ipairs(u) do print("ipairs", i, v) end
local named = setmetatable({}, {__tostring = function() return "NAMED" end})
print(named, tostring(named))
local w = setmetatable({}, {__mode = "k"})
w[{}] = 1
print(type(w))
local idx = setmetatable({}, {__index = {a = 1, b = 2}})
print(idx.a, idx.b, idx.c, rawget(idx, "a"))
local ni = setmetatable({}, {__newindex = {}})
ni.x = 5
print(ni.x, rawget(ni, "x"))
print(getmetatable("abc").__index == string)
