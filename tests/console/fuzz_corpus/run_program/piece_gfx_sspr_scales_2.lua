for y=0,7 do
 for x=0,7 do
  sset(x,y,(x<4 and 8 or 12)+(y<4 and 0 or 1))
 end
end
sset(0,0,0)
cls(1)
sspr(0,0,8,8,0,0)
