-- closures sharing upvalues, memoize, currying
local function memo(f) local cache = {} return function(n) local v = cache[n] if v == nil then v = f(n) cache[n] = v end return v end end
local calls = 0
local sq = memo(function(n) calls = calls + 1 return n * n end)
print(sq(4), sq(4), sq(5), calls)
local function curry(f) return function(a) return function(b) return f(a, b) end end end
print(curry(function(a, b) return a - b end)(10)(3))
local function compose(f, g) return function(...) return f(g(...)) end end
local inc = function(x) return x + 1 end
local dbl = function(x) return x * 2 end
print(compose(inc, dbl)(5), compose(dbl, inc)(5))
local makers = {}
for i = 1, 3 do local count = 0 makers[i] = {inc = function() count = count + i return count end, get = function() return count end} end
makers[1].inc() makers[2].inc() makers[2].inc() makers[3].inc()
print(makers[1].get(), makers[2].get(), makers[3].get())
local function seq() local a, b = 0, 1 return function() a, b = b, a + b return a end end
local nx = seq()
local fibs = {} for _ = 1, 15 do fibs[#fibs + 1] = nx() end
print(table.concat(fibs, " "))
local x = 1
local function outer() local function inner() x = x + 1 return x end return inner end
outer()() outer()()
print(x)
