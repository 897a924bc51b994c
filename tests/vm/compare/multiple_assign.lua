-- multiple assignment and evaluation order
local a, b, c = 1, 2
print(a, b, c)
a, b = b, a
print(a, b)
local t = {1, 2, 3}
local i = 1
i, t[i] = i + 1, 20
print(i, t[1], t[2])
local function mr() return 7, 8, 9 end
local x, y, z, w = mr()
print(x, y, z, w)
local p, q = mr(), 10
print(p, q)
local u = {mr(), mr()}
print(#u)
local s = {}
s.a, s.b, s.c = "A", "B"
print(s.a, s.b, s.c)
do local v1, v2 = (mr()) print(v1, v2) end
