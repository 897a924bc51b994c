-- the list functions add, deli, del, count, unpack and pack
local function show(t)
  local s = "{"
  for i = 1, #t do s = s .. (i > 1 and "," or "") .. tostring(t[i]) end
  return s .. "}"
end
local function n(...) return select("#", ...) end
local t = {}
print(add(t, 5), show(t))
t = {1, 2, 3}
print(add(t, 9, 1), show(t))
print(add(t, 7, #t + 1), show(t))
print(add(t, 8, 1.9), show(t))
print(add(t, 4, "2"), show(t))
print(add(t, 6, 2, "extra"), show(t))
print(n(add(nil, 1)), n(add(t)), n(add("s", 1)), n(add()), n(add(t, nil)), #t)
t = {1, 2, 3}
print(deli(t), show(t))
t = {1, 2, 3}
print(deli(t, 1), show(t))
print(deli(t, 1.5), show(t))
print(n(deli({})), n(deli(t, 4)), n(deli(t, 0)), n(deli(t, -1)), n(deli(t, nil)), show(t))
print(deli(t, "1"), show(t))
print(n(deli(nil)), n(deli("abc", 1)), n(deli()))
t = {1, 2, 3, 2}
print(del(t, 2), show(t))
print(n(del(t, 9)), show(t))
print(n(del({1}, "1")), n(del(t)), n(del(nil, 1)), n(del({}, 1)))
local a, b = {}, {}
t = {a, b, a}
print(del(t, a) == a, #t, t[1] == b, t[2] == a)
print(count({1, 2, 1}), count({1, 2, 1}, 1), count({}, 1), count({}), n(count("abc")), n(count()))
print(count({"a", "b", "a"}, "a"), count({1, 2}, "1"), count({a, b, a}, a))
print(unpack({1, 2, 3}))
print(unpack({1, 2, 3}, 2))
print(n(unpack({1, 2, 3}, 3, 2)), n(unpack({})))
print(unpack({}, 1, 3))
print(unpack({1, 2, 3}, 1.5, 2.9))
print(unpack({1, 2, 3}, -1, 1))
print(unpack({1, 2, 3}, "2", "3"))
print(unpack({1, 2, 3}, 2, nil))
local p = pack()
print(p.n, #p)
p = pack(nil, nil)
print(p.n, p[1], p[2])
p = pack(1, "a", true)
print(p.n, p[1], p[2], p[3])
-- a long list through the whole cycle
t = {}
for i = 1, 100 do add(t, i) end
for i = 1, 50 do deli(t, 1) end
add(t, 0, 1)
print(#t, t[1], t[2], t[51], count(t, 75), del(t, 75), #t, unpack(t, 50))
-- nil elements count, and del finds them
local h = {1, nil, 3}
print(count(h), count(h, nil), n(del(h, nil)), h[2], h[3], n(deli(h, -0.5)))
