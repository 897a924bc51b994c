-- without devkit mode: false, the empty string, zeros
show(stat(28, 4), stat(30), '<'..stat(31)..'>', select('#', stat(31)))
show(stat(32), stat(33), stat(34), stat(35), stat(36), stat(37), stat(38), stat(39), stat(40))
poke(0x5f2d, 5)
