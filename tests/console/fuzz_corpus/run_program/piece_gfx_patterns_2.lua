-- patterns on sprites with the secondary palette
for y=0,7 do for x=0,7 do sset(x,y,(x+y)%16) end end
fillp(0xa5a5.25)
spr(0,0,100,2,2)
fillp()
printh("done")
