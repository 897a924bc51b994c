-- closure creation and calls
local rounds = 2700
local function adder(n) return function(x) return (x + n) % 10007 end end
local acc = 0
for _ = 1, rounds do
  for i = 1, 5000 do
    local f = adder(i % 13)
    acc = f(acc)
  end
end
print(acc)
