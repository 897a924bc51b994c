-- sort through __lt, stable results for distinct keys
local mt = {__lt = function(a, b) return a.k < b.k end}
local items = {}
for i = 1, 30 do items[i] = setmetatable({k = (i * 11) % 31}, mt) end
table.sort(items)
local ks = {}
for i = 1, #items do ks[i] = items[i].k end
print(table.concat(ks, " "))
local strs = {"b10", "a2", "B1", "a10", "c"}
table.sort(strs)
print(table.concat(strs, " "))
table.sort(strs, function(x, y) return x:lower() < y:lower() end)
print(strs[1]:lower(), strs[#strs])
local calls = 0
local nums = {9, 8, 7, 6, 5, 4, 3, 2, 1}
table.sort(nums, function(a, b) calls = calls + 1 return a < b end)
print(table.concat(nums), calls)
local ok, e = pcall(table.sort, {1, "x", 2})
print(ok, (e:gsub("^[^\n]-:%d+: ", "")))
