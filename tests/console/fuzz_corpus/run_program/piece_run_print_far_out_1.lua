-- drawn and the call returns at once
cls()
s="\1\255A"
for i=1,18 do s=s..s end
print("\6y\255\6x\255\6t\6w"..s,0,200)
printh(peek(0x5f26).." "..peek(0x5f27))
lit=0
for y=0,127 do for x=0,127 do if (pget(x,y)!=0) lit+=1 end end
