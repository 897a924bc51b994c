-- string building: concatenation, table.concat, rep, sub
local rounds = 14400
local total = 0
for round = 1, rounds do
  local parts = {}
  for i = 1, 300 do parts[#parts + 1] = "item" .. i .. ";" end
  local s = table.concat(parts)
  local acc = ""
  for i = 1, 100 do acc = acc .. string.sub(s, i, i + 3) end
  total = (total + #s % 1000 + #acc + #string.rep("ab", round % 2400 + 1)) % 10007
end
print(total)
