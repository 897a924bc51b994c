-- echoes typed characters, the mouse position and its buttons, for the window test
poke(0x5f2d, 1)
typed = ''
function _update()
 while stat(30) do typed = typed..stat(31) end
 if #typed > 28 then typed = sub(typed, #typed - 27) end
end
function _draw()
 cls(1)
 rectfill(0, 0, 127, 8, 2)
 print(typed, 2, 2, 7)
 local x, y, b = stat(32), stat(33), stat(34)
 print(x..','..y..' '..b, 2, 12, 10)
 line(x - 2, y, x + 2, y, 8)
 line(x, y - 2, x, y + 2, 8)
end
