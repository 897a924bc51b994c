-- chimes: each arrow rings its own bell
-- o plays a short tune, x stops it
names={"low bell","high bell","rising","falling"}
last="press an arrow"
ring={0,0,0,0}

function _update()
 for b=0,3 do
  if btnp(b) then
   sfx(b)
   last=names[b+1]
   ring[b+1]=8
  end
  if ring[b+1]>0 then ring[b+1]-=1 end
 end
 if btnp(4) then music(0) last="tune" end
 if btnp(5) then music(-1) last="quiet" end
end

function _draw()
 cls(0)
 print("chimes",52,8,7)
 for b=0,3 do
  local x=20+b*28
  circfill(x,50,8+ring[b+1]/2,b+8)
  circ(x,50,10,7)
 end
 print(last,64-#last*2,80,10)
 print("o: tune  x: quiet",30,110,6)
end
