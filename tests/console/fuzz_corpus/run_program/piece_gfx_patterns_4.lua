-- patterns stay put on the screen when the camera moves
camera(1,1)
fillp(0x8421)
rectfill(1,33,64,64,0x7e)
camera()
fillp()
