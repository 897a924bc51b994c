-- comets: two ships, one sky. shoot the comets before they land.
-- player 2 joins with their fire button; the best score is kept.
function _init()
 printh("comets: running")
 cartdata("zibo6_comets")
 best=dget(0)
 menuitem(1,"reset best",function() best=0 dset(0,0) end)
 start()
end

function start()
 ships={{x=40,y=110,s=16,on=true,cool=0},{x=80,y=110,s=17,on=false,cool=0}}
 shots={} rocks={} bits={} score=0 lives=3 over=false t=0 sy=0
 music(0)
end

function boom(x,y,c)
 for i=1,8 do
  add(bits,{x=x,y=y,dx=rnd(2)-1,dy=rnd(2)-1,l=10+rnd(10),c=c})
 end
end

function hurt(r)
 r.dead=true lives-=1 sfx(2) boom(r.x+4,r.y+4,8)
 if lives<=0 and not over then
  over=true t=0 music(-1)
  if score>best then best=score dset(0,best) end
 end
end

function _update()
 t+=1 sy=(sy+.5)%128
 for p in all(bits) do
  p.x+=p.dx p.y+=p.dy p.l-=1
  if p.l<0 then del(bits,p) end
 end
 if over then
  if t>30 and (btnp(5) or btnp(5,1)) then start() end
  return
 end
 for i=1,2 do
  local s,n=ships[i],i-1
  if not s.on and btnp(4,n) then s.on=true sfx(3) end
  if s.on then
   if btn(0,n) then s.x-=2 end
   if btn(1,n) then s.x+=2 end
   if btn(2,n) then s.y-=2 end
   if btn(3,n) then s.y+=2 end
   s.x=mid(0,s.x,120) s.y=mid(64,s.y,120)
   s.cool-=1
   if btn(4,n) and s.cool<=0 then
    add(shots,{x=s.x+3,y=s.y}) s.cool=8 sfx(0)
   end
  end
 end
 if t%max(8,24-flr(score/4))==0 then
  add(rocks,{x=rnd(120),y=-8,v=.5+rnd(.6)+score/300,a=0})
 end
 for b in all(shots) do
  b.y-=4
  if b.y<-4 then del(shots,b) end
 end
 for r in all(rocks) do
  r.y+=r.v r.a+=1
  for b in all(shots) do
   if not r.dead and abs(b.x-r.x-4)<5 and abs(b.y-r.y-4)<5 then
    del(shots,b) r.dead=true score+=1 sfx(1) boom(r.x+4,r.y+4,9)
   end
  end
  for s in all(ships) do
   if s.on and not r.dead and abs(s.x-r.x)<6 and abs(s.y-r.y)<6 then hurt(r) end
  end
  if not r.dead and r.y>128 then hurt(r) end
  if r.dead then del(rocks,r) end
 end
end

function _draw()
 cls(1)
 map(0,0,0,sy-128,16,16)
 map(0,0,0,sy,16,16)
 for r in all(rocks) do spr(32+flr(r.a/8)%2,r.x,r.y) end
 for b in all(shots) do spr(48,b.x-2,b.y) end
 for s in all(ships) do
  if s.on and not over then spr(s.s,s.x,s.y) end
 end
 for p in all(bits) do pset(p.x,p.y,p.c) end
 print("score "..score,2,2,7)
 print("best "..best,92,2,10)
 print("lives "..lives,48,2,8)
 if not ships[2].on then print("p2: press fire to join",20,120,13) end
 if over then
  rectfill(24,50,103,76,0)
  print("game over",46,54,8)
  print("score "..score.."  best "..best,30,62,7)
  if t>30 then print("x: play again",38,70,6) end
 end
end
