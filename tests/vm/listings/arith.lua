-- arithmetic, folding that both compilers share, and operands in K
local a, b = 7, 3
local r = a + b * 2 - a / b % 3 ^ 2
local s = -a, -(-a)
local k = 1 + 2 * 3 - 4 / 2
local p = 2 ^ 3 ^ 2
local m = a % 0
local q = a / 0
local neg = -5
local w = (a + 1) * (b - 1)
local len = #"abc" + #{1, 2}
print(r, s, k, p, m, q, neg, w, len, a .. b, a .. "x" .. b .. "y")
