-- closures and upvalues
local function counter()
  local n = 0
  return function() n = n + 1 return n end
end
local c1, c2 = counter(), counter()
print(c1(), c1(), c2(), c1())
local fs = {}
for i = 1, 5 do fs[i] = function() return i * 10 end end
print(fs[1](), fs[3](), fs[5]())
local shared
do
  local x = 1
  local function get() return x end
  local function set(v) x = v end
  shared = {get = get, set = set}
end
shared.set(42) print(shared.get())
local function fib(n) if n < 2 then return n end return fib(n-1) + fib(n-2) end
print(fib(15))
local acc = {}
local i = 1
while i <= 3 do local j = i acc[#acc+1] = function() return j end i = i + 1 end
print(acc[1](), acc[2](), acc[3]())
