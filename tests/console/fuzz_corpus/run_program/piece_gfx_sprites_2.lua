-- a mark on the right makes the flips show
sset(15,2,14)
sset(15,3,14)
cls(1)
spr(1,0,0)
spr(1,10,0,1,1,true)
spr(1,20,0,1,1,false,true)
spr(1,30,0,1,1,true,true)
