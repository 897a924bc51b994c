-- table library: insert, remove, concat, sort, unpack
local t = {}
for i = 1, 5 do table.insert(t, i * 2) end
print(table.concat(t, ","))
print(table.remove(t), table.concat(t, ","))
print(table.remove(t, 1), table.concat(t, ","))
print(table.concat({}, ","), table.concat({1, 2, 3}), table.concat({1, 2, 3}, ", ", 2, 3))
print(table.concat({"a", "b", "c"}, "", 3, 2) == "")
local s = {5, 2, 8, 1, 9, 3, 7, 4, 6, 10}
table.sort(s)
print(table.concat(s, " "))
table.sort(s, function(a, b) return a > b end)
print(table.concat(s, " "))
local words = {"pear", "apple", "fig", "banana", "cherry"}
table.sort(words)
print(table.concat(words, " "))
table.sort(words, function(a, b) return #a < #b end)
print(words[1], words[#words])
local recs = {{n = 3}, {n = 1}, {n = 2}}
table.sort(recs, function(a, b) return a.n < b.n end)
print(recs[1].n, recs[2].n, recs[3].n)
print(table.unpack({1, 2, 3}))
local big = {}
for i = 1, 200 do big[i] = (i * 37) % 101 end
table.sort(big)
local ok = true
for i = 2, #big do if big[i - 1] > big[i] then ok = false end end
print(ok, big[1], big[200])
local p = table.pack()
print(p.n)
