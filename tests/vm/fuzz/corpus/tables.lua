local t = {1, 2, 3, [4] = 4, x = {y = {z = function() return ... end}}}
t.x.y.z()
return t
