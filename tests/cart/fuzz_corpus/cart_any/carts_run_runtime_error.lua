x = 1
-->8
local t
printh(t.y)
