cls()
local p2 = peek(0x5f12)
print("\6!5f10\1\2")
printh(peek(0x5f10)..' '..peek(0x5f11)..' '..tostr(peek(0x5f12) == p2)..' '..peek(0x5f27))
pal()
-- '@' whose count runs past the text: two bytes poked, then the line feed
poke(0x4302, 0x55)
print("\6@43000009ab", 0, 20)
printh(peek(0x4300)..' '..peek(0x4301)..' '..peek(0x4302)..' '..peek(0x5f27))
-- code 2 at the end is glyph 2: no background, and the line feed moves the cursor
cls()
print("hi\2", 0, 0, 7)
local ink, bg = 0, 0
for x = 8, 11 do for y = 0, 5 do
 local c = pget(x, y)
 if c == 7 then ink += 1 elseif c ~= 0 then bg += 1 end
end end
printh(tostr(ink > 0)..' '..bg..' '..peek(0x5f26)..' '..peek(0x5f27))
