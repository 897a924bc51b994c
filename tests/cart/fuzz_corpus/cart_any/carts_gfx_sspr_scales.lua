for y=0,7 do
 for x=0,7 do
  sset(x,y,(x<4 and 8 or 12)+(y<4 and 0 or 1))
 end
end
sset(0,0,0)
cls(1)
sspr(0,0,8,8,0,0)
sspr(0,0,8,8,10,0,16,16)
sspr(0,0,8,8,30,0,24,8)
sspr(0,0,8,8,60,0,5,5)
sspr(0,0,8,8,70,0,3,13)
-- mirrored by negative sizes and by the flags
sspr(0,0,8,8,40,30,-16,16)
sspr(0,0,8,8,50,30,16,-16)
sspr(0,0,8,8,70,30,16,16,true,true)
-- half of the sprite to a large size, clipped by the screen
sspr(0,0,4,4,90,90,64,64)
-- off-screen and degenerate: nothing
sspr(0,0,128,128,-30000,0,1,1)
sspr(0,0,0,8,0,60,8,8)
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
