-- many calls in one expression keep the stack as it was
local t = {poke(0x4300, 1), poke2(0x4300, 2), poke4(0x4300, 3), 7}
printh(#t..' '..t[4]..' '..peek4(0x4300))
