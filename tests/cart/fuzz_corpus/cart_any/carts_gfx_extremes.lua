-- none of these may write outside the screen or trip a sanitizer
cls(1)
camera(-32768,0)
line(32767,0,-32768,60,7)
camera()
circ(64,64,3000,8)
circfill(64,-3000,3000,2)
oval(-32768,-32768,32767,32767,9)
ovalfill(-32768,100,32767,32767,3)
sspr(0,0,128,128,-30000,0,1,1)
sspr(0,0,128,128,0,0,32767,-32768)
spr(256,0,0)
spr(-1,0,0)
spr(1,32767,-32768,16,16)
tline(-32768,0,32767,60,0,0,32767,-32768)
map(-1000,-1000,-32768,-32768)
map(0,0,0,0,32767,32767,255)
rect(-32768,-32768,32767,32767,10)
pset(32767,-32768,11)
printh(pget(-32768,32767))
local s="wx"
for i=1,16 do s=s..s end
print(s,0,64,12)
print(s)
printh("survived")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
-- a delayed print whose later part pokes gated memory is a runtime error
print("a"..chr(6).."1"..chr(6).."!8000zz")
printh("not reached")
