-- Folding where 16.16 numbers differ from the stock compiler's doubles:
-- the same instructions, but the folded constants wrap (see the .sed file).
local a = 200 * 200
local b = 32767 + 1
local c = -32768 - 1
local d = 256 * 256
print(a, b, c, d)
