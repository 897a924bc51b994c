repeat local x = 1 until x > 0 while true do break end for i = 10, 1, -1 do end
