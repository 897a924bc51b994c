-- zibo-6 head cart: the launcher for the carts that come with the player
carts={
 {"orchard.z6","orchard","catch falling fruit",3},
 {"comets.z6","comets","two ships, one sky",4},
}
sel=1 t=0 menu=false msg=""

function _init()
 printh("launcher: ready")
 music(0)
end

function _update()
 t+=1
 if not menu then
  if btnp(4) or btnp(5) then menu=true sfx(1) end
  return
 end
 if btnp(2) then sel=(sel-2)%#carts+1 sfx(0) end
 if btnp(3) then sel=sel%#carts+1 sfx(0) end
 if btnp(4) or btnp(5) then
  local c=carts[sel]
  sfx(1) music(-1)
  printh("launcher: load "..c[1])
  if not load(c[1],"back to launcher") then
   msg="could not load "..c[1]
   printh("launcher: "..msg)
  end
 end
end

function wave()
 for i=0,15 do
  rectfill(i*8,112+sin(t/90+i/16)*4,i*8+7,127,8+i%8)
 end
end

function _draw()
 cls(1)
 wave()
 if not menu then
  spr(1,48,28,2,2,false,false) spr(1,64,28,2,2,true,false)
  print("zibo-6",52,56,7)
  print("a little console",32,66,6)
  if t%30<20 then print("press z or x",40,90,10) end
  return
 end
 print("choose a cart",38,10,7)
 for i,c in ipairs(carts) do
  local y=18+i*20
  if i==sel then
   rectfill(10,y-4,117,y+12,5)
   spr(5,12,y+2)
  end
  spr(c[4],22,y+2)
  print(c[2],34,y,i==sel and 10 or 7)
  print(c[3],34,y+7,6)
 end
 print("up/down, then z or x",24,100,13)
 print(msg,64-#msg*2,92,8)
end
