-- goto and labels
for i = 1, 3 do
  for j = 1, 3 do
    if j == 2 then goto continue end
    io_write = nil
    print(i, j)
    ::continue::
  end
end
local n = 0
::top::
n = n + 1
if n < 5 then goto top end
print("n", n)
do
  local k = 0
  ::again::
  k = k + 2
  if k < 10 then goto again end
  print("k", k)
end
local fns = {}
do
  local i = 1
  ::loop::
  local x = i
  fns[#fns + 1] = function() return x end
  i = i + 1
  if i <= 3 then goto loop end
end
print(fns[1](), fns[2](), fns[3]())
