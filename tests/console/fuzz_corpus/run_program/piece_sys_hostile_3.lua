local big = "w"
for i = 1, 17 do big = big..big end
big = sub(big, 1, 100000)
local ends = {run=1, stop=1, load=1, __load=1, reboot=1, shutdown=1, exit=1,
 __stop=1, flip=1, __flip=1, __superyield=1, yield=1, holdframe=1, _startframe=1,
 keyconfig=1, folder=1, extcmd=1, __extcmd=1, menuitem=1}
local args = {{}, {nil}, {0x7fff.ffff, 0x7fff.ffff, 0x7fff.ffff}, {-0x8000, -1, -1},
 {"x", "y", "z"}, {big, big, big}, {{}, {}, {}}}
