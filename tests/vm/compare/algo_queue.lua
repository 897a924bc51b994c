-- queue simulation with table.insert/remove
local q = {}
for i = 1, 10 do table.insert(q, i) end
local served = {}
while #q > 0 do
  local v = table.remove(q, 1)
  served[#served + 1] = v
  if v % 3 == 0 and v < 100 then table.insert(q, v * 10) end
end
print(table.concat(served, " "))
local st = {}
for w in ("to be or not to be"):gmatch("%a+") do table.insert(st, w) end
local rev = {}
while #st > 0 do rev[#rev + 1] = table.remove(st) end
print(table.concat(rev, " "))
print(table.remove({}), #q)
