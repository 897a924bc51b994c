-- varargs and select
local function f(...) return select('#', ...), ... end
print(f())
print(f(nil, nil))
print(f(1, 2, 3))
local function g(a, ...) local t = {...} return a, #t, t[1], t[#t] end
print(g(1, 2, 3, 4))
print(select(2, "a", "b", "c"))
print(select(-1, "a", "b", "c"))
print(select(-2, "a", "b", "c"))
local function h(...) local a, b = ... return b, a end
print(h(7, 8, 9))
print((f(1, 2, 3)))
local t = table.pack(1, nil, 3)
print(t.n, t[1], t[2], t[3])
print(table.unpack({1, 2, 3}, 2))
print(table.unpack({1, 2, 3}, 2, 5))
local function tail(n, ...) if n == 0 then return ... end return tail(n - 1, n, ...) end
print(tail(5))
