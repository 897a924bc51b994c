-- arithmetic metamethods
local V = {}
V.__index = V
local function vec(x, y) return setmetatable({x = x, y = y}, V) end
V.__add = function(a, b) return vec(a.x + b.x, a.y + b.y) end
V.__sub = function(a, b) return vec(a.x - b.x, a.y - b.y) end
V.__mul = function(a, b) if type(b) == "number" then return vec(a.x * b, a.y * b) end return a.x * b.x + a.y * b.y end
V.__div = function(a, b) return vec(a.x / b, a.y / b) end
V.__mod = function(a, b) return vec(a.x % b, a.y % b) end
V.__pow = function(a, b) return vec(a.x ^ b, a.y ^ b) end
V.__unm = function(a) return vec(-a.x, -a.y) end
V.__tostring = function(a) return "(" .. a.x .. "," .. a.y .. ")" end
V.__concat = function(a, b) return tostring(a) .. "|" .. tostring(b) end
V.__len = function(a) return a.x + a.y end
local a, b = vec(1, 2), vec(3, 4)
print(tostring(a + b), tostring(a - b), a * b, tostring(a * 3))
print(tostring(b / 2), tostring(b % 3), tostring(a ^ 2), tostring(-a))
print(a .. b, a .. "s", "s" .. b)
print(#a, #b)
