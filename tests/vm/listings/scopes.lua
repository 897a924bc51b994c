-- nested blocks, shadowing and closing upvalues at block ends
local x = 1
do
  local x = x + 1
  do
    local x = x * 2
    print(function() return x end)
  end
  print(x)
end
local fns = {}
for i = 1, 2 do
  local a, b = i, i + 1
  if a > 1 then
    local c = a + b
    fns[#fns + 1] = function() return a + b + c end
  else
    fns[#fns + 1] = function() return a end
  end
end
print(x, fns[1](), fns[2]())
