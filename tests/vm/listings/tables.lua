-- constructors of every shape, SETLIST flushes and open calls
local function f() return 1, 2, 3 end
local a = {}
local b = {1, 2, 3, x = 1, ["y"] = 2, [3 + 1] = 4; 5}
local c = {f()}
local d = {f(), f()}
local e = {(f())}
local g = {...}
local h = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
  21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
  41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, f()}
local i = {a = {b = {c = {}}}, [a] = b, [true] = false}
i.a.b.c.d = h[60]
i["a"]["b"] = nil
print(#a, #b, #c, #d, #e, #g, #h, i)
