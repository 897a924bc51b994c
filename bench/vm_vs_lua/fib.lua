-- recursive fib(23)
local rounds = 600
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local r = 0
for _ = 1, rounds do r = (r + fib(23) % 10007) % 10007 end
print(r)
