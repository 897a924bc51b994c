-- sieve of Eratosthenes
local N = 2000
local comp = {}
local primes = {}
for i = 2, N do
  if not comp[i] then primes[#primes + 1] = i for j = i + i, N, i do comp[j] = true end end
end
print(#primes, primes[1], primes[#primes])
local s = 0 for _, p in ipairs(primes) do s = (s + p) % 10007 end print(s)
