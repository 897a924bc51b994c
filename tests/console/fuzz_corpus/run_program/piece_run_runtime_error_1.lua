-->8
local t
printh(t.y)
