-- a custom font: 4 wide, 5 tall, glyph 'a' a box, 'b' a cross
poke(0x5600,4,8,5,0,0)
poke(0x5600+ord("a")*8,15,9,9,9,15)
poke(0x5600+ord("b")*8,9,6,6,6,9)
print("\014abab\015ab",0,66,11)
poke(0x5f58,0x81)
print("baba",0,76,8)
poke(0x5f58,0)
