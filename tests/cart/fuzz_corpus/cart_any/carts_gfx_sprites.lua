-- build sprite 1 (an arrow with a 0 background) and sprite 2 (stripes)
for y=0,7 do
 for x=0,7 do
  local c=0
  if x>=y/2 and x<=7-y/2 then c=8+(x+y)%4 end
  if y==0 then c=7 end
  sset(8+x,y,c)
  sset(16+x,y,(x+y)%16)
 end
end
-- a mark on the right makes the flips show
sset(15,2,14)
sset(15,3,14)
cls(1)
spr(1,0,0)
spr(1,10,0,1,1,true)
spr(1,20,0,1,1,false,true)
spr(1,30,0,1,1,true,true)
-- two sprites wide, and partial sizes
spr(1,0,12,2,1)
spr(1,20,12,0.5,1)
spr(1,30,12,1.5,0.75)
-- transparency: palt makes 8 see-through, then nothing
palt(8,true)
spr(1,0,24)
palt()
palt(0,false)
spr(1,10,24)
palt()
-- palette swap
pal(9,14)
spr(1,20,24)
pal()
-- clipped at the edges and through the camera
spr(2,-4,-4)
spr(2,124,124)
camera(8,-40)
spr(2,0,0,2,2,true)
camera()
spr(256,50,50)
spr(-1,50,50)
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
