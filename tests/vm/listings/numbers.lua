-- numerals in every stock form, all whole or exact in 16.16
local a = 0x10
local b = 0xff + 0XA
local c = 1e2
local d = 0.5 + .25
local e = 3 + 1e1
local f = 100 * 2 - 1
local g = 2^10
local h = -0x7
print(a, b, c, d, e, f, g, h, 0, 1 - 1)
