-- every operator event on tables; the handlers loop a little, so that under a
-- budget the forced yields land inside them and the results must still arrive
local function busy(n) local s = 0 for i = 1, n do s = s + i end return s end
local mt = {}
local function new(v) return setmetatable({v = v}, mt) end
local function val(x) if type(x) == "table" then return x.v end return x end
local names = {"add", "sub", "mul", "div", "mod", "pow", "and", "or", "xor", "shl", "shr",
  "lshr", "rotl", "rotr", "not", "idiv", "peek", "peek2", "peek4", "unm", "concat"}
for _, name in ipairs(names) do
  mt["__" .. name] = function(a, b)
    busy(20)
    return name .. "(" .. tostring(val(a)) .. "," .. tostring(val(b)) .. ")"
  end
end
mt.__len = function(a) busy(20) return a.v * 10 end
mt.__lt = function(a, b) busy(20) return val(a) < val(b) end
mt.__index = function(t, k) busy(20) return k .. "?" end
mt.__call = function(self, x, y) busy(20) return self.v + x + y, "called" end
local a, b = new(1), new(2)
print(a + 1, 2 - a, a * b, a / 3, a % 4, a ^ 5)
print(a & 1, 1 | a, a ^^ b, a << 2, a >> 3, a >>> 4, a <<> 5, a >>< 6)
print(~a, a \ 7, @a, %a, $a, -a)
print(a .. "x", "x" .. a, 1 .. a .. 2)
print(#a, #b, a < b, b < a, a <= b, b <= a, a > b, a >= b)
print(a.missing, a[5], a(10, 20))
-- __eq only between two tables with the same handler
local eq = function(x, y) busy(20) return x.k == y.k end
local e1, e2, e3 = setmetatable({k = 1}, {__eq = eq}), setmetatable({k = 1}, {__eq = eq}), setmetatable({k = 2}, {__eq = eq})
print(e1 == e2, e1 ~= e2, e1 == e3, e1 == 1)
-- __index and __newindex chains
local base = {greet = "hi"}
local mid = setmetatable({}, {__index = base})
local top = setmetatable({}, {__index = mid})
local log = {}
local guarded = setmetatable({}, {__newindex = function(t, k, v) busy(20) rawset(t, k, v * 2) add(log, k) end})
guarded.x = 21
guarded.x = 5
print(top.greet, guarded.x, #log)
