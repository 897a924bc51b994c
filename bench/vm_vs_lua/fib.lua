-- recursive fib(23)
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local r = 0
for _ = 1, 60 do r = fib(23) end
print(r)
