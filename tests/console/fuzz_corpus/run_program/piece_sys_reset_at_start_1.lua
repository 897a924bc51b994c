-- upper memory outlives a run: it counts the runs
poke(0x5f36, 0x10)
local n = peek(0x8000)
poke(0x8000, n + 1)
printh("run "..n)
if (n == 0) extcmd("reset")
for i = 1, 30 do flip() end
printh("no reset")
