-- sprite 1 red with flag 1, sprite 2 green with flag 2, sprite 3 both flags
for y=0,7 do
 for x=0,7 do
  sset(8+x,y,(x+y)%2==0 and 8 or 0)
  sset(16+x,y,(x*y)%3==0 and 11 or 3)
  sset(24+x,y,x==y and 12 or 1)
 end
end
fset(1,0,true)
fset(2,1,true)
fset(3,0x3)
for i=0,15 do
 for j=0,15 do
  mset(i,j,(i+j)%4)
 end
end
cls(5)
map(0,0,0,0,8,4)
map(0,0,64,0,8,4,1)
map(0,0,0,40,8,4,2)
map(0,0,64,40,8,4,3)
-- cell 0 is drawn with 0x5f36 bit 0x08
poke(0x5f36,8)
map(0,0,0,80,4,4)
poke(0x5f36,0)
-- the camera and the clip
clip(40,80,48,40)
camera(-36,-76)
map(0,0,0,0)
camera()
clip()
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
