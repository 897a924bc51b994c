extcmd("rec_frames")
for k = 0, 39 do
  cls(k % 3)
  rectfill(k, k, k + 10, k + 20, 1 + k % 15)
  pset(127, 127, 7)
  flip()
end
extcmd("video", 1, 1)
extcmd("video", 2, 1)
printh("done")
