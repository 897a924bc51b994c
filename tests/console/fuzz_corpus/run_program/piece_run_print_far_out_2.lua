-- 65,536 repeats of 336-pixel glyphs: the cursor goes past any int's range
poke(0x5f36,4)
t="\1\255A"
for i=1,16 do t=t..t end
x=print("\6p\6x\255"..t,0,0)
printh(x)
print("\6p\6x\255"..t)
printh(peek(0x5f26).." "..peek(0x5f27))
