-- table fill, lookup and removal with string and integer keys
local rounds = 800
local sum = 0
for _ = 1, rounds do
  local t = {}
  for i = 1, 2000 do t["k" .. i] = i end
  for i = 1, 2000 do sum = (sum + t["k" .. i]) % 10007 end
  for i = 1, 2000, 2 do t["k" .. i] = nil end
  local n = 0
  for _ in pairs(t) do n = n + 1 end
  local a = {}
  for i = 1, 3000 do a[i] = i % 97 end
  for i = 1, 3000 do sum = (sum + a[i]) % 10007 end
  for i = 3000, 1, -1 do a[i] = nil end
  local h = {}
  for i = 1, 1000 do h[i * 7] = i end
  for i = 1, 1000 do sum = (sum + h[i * 7]) % 10007 end
  sum = (sum + n) % 10007
end
print(sum)
