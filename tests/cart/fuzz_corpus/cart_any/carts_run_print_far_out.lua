-- 786 KB of huge glyphs, each 255 times, far below the screen: nothing is
-- drawn and the call returns at once
cls()
s="\1\255A"
for i=1,18 do s=s..s end
print("\6y\255\6x\255\6t\6w"..s,0,200)
printh(peek(0x5f26).." "..peek(0x5f27))
lit=0
for y=0,127 do for x=0,127 do if (pget(x,y)!=0) lit+=1 end end
printh("lit "..lit)
s=nil
-- 65,536 repeats of 336-pixel glyphs: the cursor goes past any int's range
poke(0x5f36,4)
t="\1\255A"
for i=1,16 do t=t..t end
x=print("\6p\6x\255"..t,0,0)
printh(x)
print("\6p\6x\255"..t)
printh(peek(0x5f26).." "..peek(0x5f27))
