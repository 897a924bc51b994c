-- goto, labels and continue-style loops with upvalues
for i = 1, 3 do
  local x = i
  local f = function() return x end
  if i == 2 then goto continue end
  print(f())
  ::continue::
end
do
  local k = 0
  ::top::
  k = k + 1
  if k < 3 then goto top end
  print(k)
end
local n = 0
while n < 10 do
  n = n + 1
  if n % 2 == 0 then goto skip end
  do
    local y = n
    print(function() return y end)
  end
  ::skip::
end
