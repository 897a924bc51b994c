-- recursion and mutual recursion
local function fact(n) if n <= 1 then return 1 end return n * fact(n - 1) end
print(fact(7))
local isEven, isOdd
function isEven(n) if n == 0 then return true end return isOdd(n - 1) end
function isOdd(n) if n == 0 then return false end return isEven(n - 1) end
print(isEven(100), isOdd(77))
local function hanoi(n, from, to, via, moves)
  if n == 0 then return moves end
  moves = hanoi(n - 1, from, via, to, moves)
  moves = moves + 1
  return hanoi(n - 1, via, to, from, moves)
end
print(hanoi(10, "a", "c", "b", 0))
local function ack(m, n)
  if m == 0 then return n + 1 end
  if n == 0 then return ack(m - 1, 1) end
  return ack(m - 1, ack(m, n - 1))
end
print(ack(2, 3))
local function sumtail(n, acc) if n == 0 then return acc end return sumtail(n - 1, acc + n) end
print(sumtail(200, 0))
local function gcd(a, b) if b == 0 then return a end return gcd(b, a % b) end
print(gcd(1071, 462), gcd(17, 5))
local function perms(a, n, out)
  n = n or #a
  if n <= 1 then out[#out + 1] = table.concat(a) return out end
  for i = 1, n do a[n], a[i] = a[i], a[n] perms(a, n - 1, out) a[n], a[i] = a[i], a[n] end
  return out
end
print(table.concat(perms({"a", "b", "c"}, nil, {}), " "))
