-- clip: the window 32..95 x 40..87 (right and bottom exclusive)
clip(32,40,64,48)
rectfill(0,0,127,127,2)
for i=0,15 do
 line(16+i*8,30,40+i*4,100,i)
end
line(0,60,127,60,15)
line(64,0,64,127,15)
