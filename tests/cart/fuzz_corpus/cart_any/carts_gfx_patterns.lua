cls(0)
fillp(0x5a5a)
rectfill(0,0,31,31,0x18)
fillp(0x5a5a.5)
rectfill(32,0,63,31,0x18)
fillp(0x0f0f)
circfill(80,16,14,0x2c)
fillp(0xcc33.5)
rectfill(100,0,127,31,9)
-- patterns stay put on the screen when the camera moves
camera(1,1)
fillp(0x8421)
rectfill(1,33,64,64,0x7e)
camera()
fillp()
-- bit-plane masks: write only bit 0 (6 becomes 7); read only bits 0-1 (15 becomes 3)
rectfill(0,70,127,90,6)
poke(0x5f5e,0xf1)
rectfill(0,70,63,90,15)
poke(0x5f5e,0x3f)
rectfill(64,70,127,90,15)
poke(0x5f5e,0xff)
-- patterns on sprites with the secondary palette
for y=0,7 do for x=0,7 do sset(x,y,(x+y)%16) end end
fillp(0xa5a5.25)
spr(0,0,100,2,2)
fillp()
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
