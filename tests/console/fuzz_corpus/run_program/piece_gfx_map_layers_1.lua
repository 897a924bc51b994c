-- the camera and the clip
clip(40,80,48,40)
camera(-36,-76)
map(0,0,0,0)
camera()
clip()
printh("done")
