-- every line must end on its end points and stop at the clip's edges
cls(1)
line(0,0,127,127,7)
line(127,0,0,127,8)
line(10,2,10,2,9)
line(20,2,30,2,10)
line(20,4,20,14,11)
line(40,2,46,20,12)
line(60,20,52,2,13)
-- the cursor form: from the previous end point
line(70,2,80,6,14)
line(90,2)
line(80,14)
line()
line(100,2,7)
line(110,12,7)
-- clip: the window 32..95 x 40..87 (right and bottom exclusive)
clip(32,40,64,48)
rectfill(0,0,127,127,2)
for i=0,15 do
 line(16+i*8,30,40+i*4,100,i)
end
line(0,60,127,60,15)
line(64,0,64,127,15)
line(95,40,95,87,6)
line(96,40,96,87,7)
clip()
rect(31,39,96,88,5)
-- the camera moves everything
camera(-100,-100)
line(0,0,20,20,10)
camera()
printh("done")
-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
