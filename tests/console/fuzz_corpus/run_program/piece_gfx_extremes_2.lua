map(0,0,0,0,32767,32767,255)
rect(-32768,-32768,32767,32767,10)
pset(32767,-32768,11)
printh(pget(-32768,32767))
local s="wx"
for i=1,16 do s=s..s end
print(s,0,64,12)
print(s)
