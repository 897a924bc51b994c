-- the exact pixel sets of small circles, outline and filled, whole and half radii
cls(0)
for r=0,7 do
 circ(6+r*15,8,r,7)
 circfill(6+r*15,26,r,8)
end
