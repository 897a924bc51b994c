-- glyphs of the upper half are wide
print(chr(128)..chr(129)..chr(130),0,100,7)
printh("done")
