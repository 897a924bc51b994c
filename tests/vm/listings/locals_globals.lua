-- locals, globals, upvalues and multiple assignment
local a, b, c = 1, 2
local d
x, y = a, b
a, b = b, a
local t = {}
t.k, t[a] = t[b], t.k
t[1], t[2], t[3] = 3, 2
local function f(...) return ... end
local u, v = f(1, 2, 3)
g = function() a = a + 1; return a, b, c end
local e = nil
local n1, n2, n3
z = nil
print(x, y, d, e, n1, n2, n3, u, v)
