-- an asymmetric picture, drawn every frame, for the window test
function _draw()
 cls(0)
 rectfill(0,0,63,63,8)
 rectfill(64,0,127,63,11)
 rectfill(0,64,63,127,12)
 rectfill(64,64,127,127,1)
 rectfill(2,50,20,58,10)
 line(4,4,43,23,7)
end
