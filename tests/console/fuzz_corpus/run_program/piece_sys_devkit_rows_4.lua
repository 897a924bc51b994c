-- devkit mode with no window: no key is held or typed, the mouse rests at 0
local c, z = stat(31)
show(stat(28, 4), stat(28, 'x'), stat(30), '<'..c..'>', z)
show(stat(32), stat(33), stat(34), stat(35), stat(36), stat(37), stat(38), stat(39), stat(40))
