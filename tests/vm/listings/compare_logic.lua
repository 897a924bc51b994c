-- comparisons, and/or/not in values and conditions
local a, b = 1, 2
local c = a < b
local d = a <= b and b > a or a >= b
local e = not a
local f = a == b or a ~= b
local g = not (a and b) or (c and not d)
if a < b and b < 3 or not c then print("yes") else print("no") end
if not a then print(1) elseif a == 1 then print(2) elseif b ~= 2 then print(3) end
local h = a and nil
local i = nil or false or 0
while a < 10 and not (b > 20) do a = a + 1 end
repeat local z = a; a = a - 1 until z < 3 or a == nil
print(c, d, e, f, g, h, i)
