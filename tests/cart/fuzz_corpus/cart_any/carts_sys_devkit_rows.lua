function show(...)
 local s = ''
 for v in all({...}) do s = s..tostr(v)..' ' end
 printh(s)
end
-- without devkit mode: false, the empty string, zeros
show(stat(28, 4), stat(30), '<'..stat(31)..'>', select('#', stat(31)))
show(stat(32), stat(33), stat(34), stat(35), stat(36), stat(37), stat(38), stat(39), stat(40))
poke(0x5f2d, 5)
-- devkit mode with no window: no key is held or typed, the mouse rests at 0
local c, z = stat(31)
show(stat(28, 4), stat(28, 'x'), stat(30), '<'..c..'>', z)
show(stat(32), stat(33), stat(34), stat(35), stat(36), stat(37), stat(38), stat(39), stat(40))
-- continue, one, two, options, reset cart, quit and (run with -x) shutdown
menuitem(1, 'one') menuitem(2, 'two')
show(stat(12), stat(13), stat(14), stat(15))
