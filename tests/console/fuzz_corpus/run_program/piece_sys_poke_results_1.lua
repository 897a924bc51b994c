printh(tostr(poke(0x4300, 1), 3)..' '..tostr(poke2(0x4300, 1), 3)..' '..tostr(poke4(0x4300, 1), 3))
printh(tostr(poke(0x4300), 3)..' '..tostr(poke(0x4300, 1, 2, 3), 3))
local a, b = poke(0x4300, 5)
printh(tostr(a)..' '..tostr(b)..' '..select('#', poke(0x4300, 6)))
