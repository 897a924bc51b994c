-- buttons: what two players are holding
-- each pad lights up its buttons while they are held
labels={"<",">","^","v","o","x"}
spots={{8,20},{24,20},{16,12},{16,28},{40,20},{52,20}}
presses=0

function _update()
 for p=0,1 do
  for b=0,5 do
   if btnp(b,p) then presses+=1 end
  end
 end
end

function pad(p,ox,oy)
 rect(ox,oy,ox+62,oy+40,6)
 print("player "..(p+1),ox+4,oy+2,7)
 for b=0,5 do
  local s=spots[b+1]
  local x,y=ox+s[1],oy+s[2]
  local held=btn(b,p)
  circfill(x,y,5,held and 11 or 1)
  print(labels[b+1],x-1,y-2,held and 0 or 13)
 end
end

function _draw()
 cls(0)
 print("buttons",50,4,7)
 pad(0,0,20)
 pad(1,65,20)
 print("presses: "..presses,40,80,10)
 print("player 1: arrows z x",24,100,6)
 print("player 2: s f e d tab q",18,108,6)
end
