-- pause and controls open the pause menu, which holds the cart: not called here
for c in all({"label", "screen", "rec", "video", "set_title",
 "set_filename", "no_such", big, 1}) do
 for a in all(args) do coresume(cocreate(function() extcmd(c, a[1], a[2]) end)) end
end
printh("survived "..tostr(called > 100))
