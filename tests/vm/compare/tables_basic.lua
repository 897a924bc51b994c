-- table constructors, length, next, rawlen
local t = {1, 2, 3, x = "a", ["y z"] = "b", [10] = "ten"}
print(#t, t.x, t["y z"], t[10])
local keys = {}
for k in pairs({a = 1, b = 2, c = 3}) do keys[#keys + 1] = k end
table.sort(keys)
print(table.concat(keys, " "))
local arr = {}
for i = 1, 100 do arr[i] = i * 2 end
print(#arr, arr[50], rawlen(arr))
local sum = 0
for i, v in ipairs(arr) do sum = sum + v end
print(sum)
print(next({}))
local k, v = next({5})
print(k, v)
local holes = {1, nil, 3}
local c = 0 for _ in ipairs(holes) do c = c + 1 end print(c)
print(rawlen("abcd"), rawget({7}, 1), rawequal(t, t))
local nested = {{1, 2}, {3, {4, 5}}}
print(nested[2][2][2], #nested[2])
local m = {}
m[1.5] = "frac" m[-3] = "neg" m[true] = "bool"
print(m[1.5], m[-3], m[true], m[3 / 2])
local function f() return 1, 2, 3 end
local t2 = {f()} local t3 = {f(), f()} local t4 = {(f())}
print(#t2, #t3, #t4)
