-- code 2 at the end is glyph 2: no background, and the line feed moves the cursor
cls()
print("hi\2", 0, 0, 7)
local ink, bg = 0, 0
for x = 8, 11 do for y = 0, 5 do
 local c = pget(x, y)
 if c == 7 then ink += 1 elseif c ~= 0 then bg += 1 end
end end
