-- a poked button is held until the next read of the buttons: one frame
f=0
function _update()
 f+=1
 if f==2 then poke(0x5f4d,0x21) end
 printh(f.." "..tostr(btn(0,1)).." "..tostr(btn(5,1)).." "..btn().." "..tostr(btnp(0,1)).." "..peek(0x5f4d))
 printh(tostr(btn(9)).." "..tostr(btn(0,8)).." "..tostr(btn(-3)))
 if f==3 then
  menuitem(1,"restart",function() end)
  printh("done")
  stop()
 end
end
