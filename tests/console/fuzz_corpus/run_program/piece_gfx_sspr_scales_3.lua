-- off-screen and degenerate: nothing
sspr(0,0,128,128,-30000,0,1,1)
sspr(0,0,0,8,0,60,8,8)
printh("done")
