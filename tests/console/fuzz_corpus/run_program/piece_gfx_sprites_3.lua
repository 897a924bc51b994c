-- transparency: palt makes 8 see-through, then nothing
palt(8,true)
spr(1,0,24)
palt()
palt(0,false)
spr(1,10,24)
palt()
