-- Folding of the new operators with the run-time 16.16 results; division
-- and modulo by a constant zero stay instructions, integer division folds.
local a = 1<<4
local b = 7\2
local c = 1\0
local d = 1/0
local e = 5%0
local f = -7\2
local g = 1+2<<3
local h = 0xff & 0x0f ^^ 3
local i = 200*200
local j = -32768 \ -1
local k = 1 >>< 1
local l = 2^0.5
