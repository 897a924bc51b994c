poke(0x5f36, 1) -- several displays
cls(0)
-- index 7 draws on display 3; a capture must show that display
_map_display(7)
cls(8)
rectfill(0, 0, 9, 9, 11)
extcmd("screen", 1, 0) -- the desktop folder, numbered name
extcmd("set_filename", "shot.png")
extcmd("screen", 2, 1) -- the file output folder, the fixed name
extcmd("rec_frames")
flip()
extcmd("video", 1, 0) -- the desktop folder, the fixed name
printh("to the desktop", "note", false, true)
printh("done")
