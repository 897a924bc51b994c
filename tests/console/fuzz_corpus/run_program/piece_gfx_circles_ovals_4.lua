for r=0,3 do
 circ(6+r*15,58,r+0.5,11)
 circfill(68+r*15,58,r+0.5,12)
end
poke(0x5f36,0)
