-- loops and branches
local i = 0
repeat i = i + 1 until i >= 5
print(i)
local j = 10
while j > 0 do j = j - 3 if j < 4 then break end end
print(j)
for k = 1, 10 do if k % 2 == 0 then io_x = k elseif k == 5 then print("five") else io_y = k end end
local x = nil
print(x or "default", x and "yes", false or nil, 1 and 2, nil and 1)
print(not nil, not 0, not "")
local r = {}
for a = 1, 3 do for b = a, 3 do r[#r + 1] = a .. b end end
print(table.concat(r, " "))
repeat local z = 3 until z == 3
local n = 0
for _, v in ipairs({3, 1, 4, 1, 5, 9, 2, 6}) do if v > 3 then n = n + v end end
print(n)
local function classify(v) if v < 0 then return "neg" elseif v == 0 then return "zero" else return "pos" end end
print(classify(-3), classify(0), classify(8))
