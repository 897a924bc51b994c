-- iteration order and generic for
local t = {10, 20, 30}
for i, v in ipairs(t) do print(i, v) end
local cnt = 0
for k, v in pairs({1, 2, 3, a = 4}) do cnt = cnt + v end
print(cnt)
local function range(n) local i = 0 return function() i = i + 1 if i <= n then return i end end end
for v in range(4) do io_x = v print(v) end
local function stateless(s, c) if c < s then return c + 1, c * c end end
for a, b in stateless, 3, 0 do print(a, b) end
local keys = {}
for k in next, {x = 1, y = 2} do keys[#keys + 1] = k end
table.sort(keys)
print(table.concat(keys))
local del = {a = 1, b = 2, c = 3}
for k in pairs(del) do del[k] = nil end
print(next(del))
