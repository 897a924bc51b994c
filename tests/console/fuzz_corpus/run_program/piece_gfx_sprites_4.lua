-- palette swap
pal(9,14)
spr(1,20,24)
pal()
