-- every metamethod event once
local log = {}
local function L(s) log[#log + 1] = s end
local mt = {}
for _, ev in ipairs({"add", "sub", "mul", "div", "mod", "pow", "concat"}) do
  mt["__" .. ev] = function(a, b) L(ev) return 1 end
end
mt.__unm = function() L("unm") return 2 end
mt.__len = function() L("len") return 3 end
mt.__eq = function() L("eq") return true end
mt.__lt = function() L("lt") return true end
mt.__le = function() L("le") return false end
mt.__index = function(t, k) L("index") return k end
mt.__newindex = function(t, k, v) L("newindex") end
mt.__call = function(self, ...) L("call") return select("#", ...) end
mt.__tostring = function() L("tostring") return "T" end
local a, b = setmetatable({}, mt), setmetatable({}, mt)
local r = {a + b, a - 1, 2 * a, a / b, a % 3, a ^ 2, a .. "x", -a, #a, a == b, a < b, a <= b, a > b, a >= b, a.key, a(1, 2), tostring(a)}
a.k = 1
print(table.concat(log, " "))
local out = {}
for i = 1, #r do out[i] = tostring(r[i]) end
print(table.concat(out, " "))
print(a ~= b, rawequal(a, b))
