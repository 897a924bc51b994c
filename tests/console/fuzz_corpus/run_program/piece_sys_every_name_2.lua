for c in all({"rec", "set_filename", "set_title", "pause", "controls", "label",
 "screen", "video", "reset"}) do extcmd(c, "name", 0) end
printh("called more than 100: "..tostr(called > 100))
