-- none of these may write outside the screen or trip a sanitizer
cls(1)
camera(-32768,0)
line(32767,0,-32768,60,7)
camera()
circ(64,64,3000,8)
circfill(64,-3000,3000,2)
oval(-32768,-32768,32767,32767,9)
