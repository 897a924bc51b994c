-- the camera moves everything
camera(-100,-100)
line(0,0,20,20,10)
camera()
printh("done")
