-- the exact pixel sets of small circles, outline and filled, whole and half radii
cls(0)
for r=0,7 do
 circ(6+r*15,8,r,7)
 circfill(6+r*15,26,r,8)
end
-- half radii: the same, then one pixel larger with 0x5f36 bit 0x02
for r=0,3 do
 circ(6+r*15,44,r+0.5,11)
 circfill(68+r*15,44,r+0.5,12)
end
poke(0x5f36,2)
for r=0,3 do
 circ(6+r*15,58,r+0.5,11)
 circfill(68+r*15,58,r+0.5,12)
end
poke(0x5f36,0)
-- ovals of every small box shape
for w=0,7 do
 for h=0,3 do
  oval(2+w*15,70+h*9,2+w*15+w+2*h,70+h*9+h+1,9+(w+h)%6)
 end
end
for w=0,7 do
 ovalfill(2+w*15,108,2+w*15+w*2,108+w,6+w%4)
end
-- a fill pattern on a filled circle
fillp(0x5a5a)
circfill(120,120,6,0x1e)
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
