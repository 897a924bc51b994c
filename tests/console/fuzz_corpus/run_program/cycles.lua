-- cycles: instruction charges, square roots of a power, concatenation and list functions
local a = 2
local b = a ^ 0.5
local c = a << 1
local s = "0123456789012345678901234567890123456789"
local u = s .. s .. s
local t = {}
add(t, 1)
add(t, 2)
add(t, 3, 1)
deli(t, 1)
del(t, 9)
count(t, 1)
local x, y = unpack(t)
local p = pack()
