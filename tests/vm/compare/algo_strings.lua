-- string building and counting
local parts = {}
for i = 1, 200 do parts[#parts + 1] = tostring(i % 17) end
local s = table.concat(parts)
print(#s, s:sub(1, 20))
local counts = {}
for d in s:gmatch("%d") do counts[d] = (counts[d] or 0) + 1 end
local keys = {} for k in pairs(counts) do keys[#keys + 1] = k end table.sort(keys)
local out = {} for _, k in ipairs(keys) do out[#out + 1] = k .. "=" .. counts[k] end
print(table.concat(out, " "))
local acc = ""
for i = 1, 50 do acc = acc .. string.char(97 + i % 26) end
print(acc)
print(select(2, acc:gsub("a", "")))
local function caesar(str, k) return (str:gsub("%a", function(c) local base = c:lower() == c and 97 or 65 return string.char((c:byte() - base + k) % 26 + base) end)) end
print(caesar("Hello World", 3), caesar(caesar("Hello World", 3), 23))
