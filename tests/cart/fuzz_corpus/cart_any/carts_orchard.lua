-- orchard: catch the falling fruit in your basket.
-- two players share five lives; player 2 joins with a button.
function _init()
 printh("orchard: running")
 cartdata("zibo6_orchard")
 best=dget(0)
 menuitem(1,"reset best",function() best=0 dset(0,0) end)
 newgame()
end

function newgame()
 pl={{x=40,on=true,s=16},{x=80,on=false,s=17}}
 fruit={} score=0 lives=5 over=false t=0
 music(0)
end

function _update()
 t+=1
 if over then
  if t>30 and (btnp(5) or btnp(5,1)) then newgame() end
  return
 end
 for i=1,2 do
  local p,n=pl[i],i-1
  if not p.on and (btnp(4,n) or btnp(5,n)) then p.on=true sfx(2) end
  if p.on then
   if btn(0,n) then p.x-=2 end
   if btn(1,n) then p.x+=2 end
   p.x=mid(0,p.x,120)
  end
 end
 if t%max(12,45-score)==0 then
  add(fruit,{x=8+flr(rnd(112)),y=24,v=.5+rnd(.5)+score/150,k=1+flr(rnd(2))})
 end
 for f in all(fruit) do
  f.y+=f.v
  for p in all(pl) do
   if p.on and f.y>104 and f.y<112 and abs(f.x-p.x)<7 then
    f.y=200 score+=1 sfx(0)
   end
  end
  if f.y>=200 then
   del(fruit,f)
  elseif f.y>116 then
   del(fruit,f) lives-=1 sfx(1)
   if lives<=0 then
    over=true t=0 music(-1) sfx(3)
    if score>best then best=score dset(0,best) end
   end
  end
 end
end

function _draw()
 cls(12)
 map(0,0,0,0,16,16)
 for f in all(fruit) do spr(f.k,f.x,f.y) end
 for p in all(pl) do
  if p.on then spr(p.s,p.x,112) end
 end
 rectfill(0,0,127,8,1)
 print("score "..score,2,2,7)
 print("best "..best,92,2,10)
 for i=1,lives do spr(1,40+i*8,1) end
 if not pl[2].on then print("p2: press fire to join",20,100,1) end
 if over then
  rectfill(24,50,103,76,1)
  print("game over",46,54,8)
  print("score "..score.."  best "..best,30,62,7)
  if t>30 then print("x: play again",38,70,6) end
 end
end
