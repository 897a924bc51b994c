-- shapes: drawing with circles, lines and boxes
-- eight moons circle the middle; arrows turn them
t=0
spin=1

function _update()
 if btn(0) then spin=-1 end
 if btn(1) then spin=1 end
 t+=spin
end

function _draw()
 cls(1)
 rect(4,4,123,123,13)
 for i=0,7 do
  local a=t/240+i/8
  local x=64+cos(a)*36
  local y=64+sin(a)*36
  line(64,64,x,y,5)
  circfill(x,y,5,8+i)
  circ(x,y,7,7)
 end
 circfill(64,64,10,10)
 rectfill(40,112,88,120,0)
 print("shapes",52,114,7)
end
