cls(1)
print("plain text",0,0,7)
-- colour, background, cursor moves, repeats and tabs
print("\fcred\f7 \#2bg\-hok",0,8)
print("a\tb\tc",0,16,6)
print("\*5x y",0,24,10)
print("\+hhmoved",0,32,9)
-- wide, tall, inverted, padded, dotty
print("\^wwide\^-w \^ttall",0,40,12)
print("\^iinv\^-i \^w\^.dotty",0,54,14)
-- a custom font: 4 wide, 5 tall, glyph 'a' a box, 'b' a cross
poke(0x5600,4,8,5,0,0)
poke(0x5600+ord("a")*8,15,9,9,9,15)
poke(0x5600+ord("b")*8,9,6,6,6,9)
print("\014abab\015ab",0,66,11)
poke(0x5f58,0x81)
print("baba",0,76,8)
poke(0x5f58,0)
-- measuring text: print returns the right-most x
printh("width "..print("measure",0,90,13))
-- glyphs of the upper half are wide
print(chr(128)..chr(129)..chr(130),0,100,7)
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
