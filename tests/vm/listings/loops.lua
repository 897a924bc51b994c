-- numeric and generic loops, break, nested loops and closures in loops
local s = 0
for i = 1, 10 do s = s + i end
for i = 10, 1, -2 do s = s - i end
for i = 1, 3 do
  for j = i, 3 do
    if j == 2 then break end
    s = s + j
  end
end
local fs = {}
for i = 1, 3 do fs[i] = function() return i end end
local t = {a = 1, b = 2}
for k, v in pairs(t) do s = s + v end
for i, v in ipairs({4, 5, 6}) do s = s + i * v end
local n = 0
while true do
  n = n + 1
  if n > 5 then break end
end
repeat
  local x = n
  n = n - 1
  local f = function() return x end
until x < 2
print(s, n, fs[1]())
