-- the screen for the test: 128 rows of hex, two pixels a byte
for y=0,127 do
 local s=""
 for x=0,63 do
  s=s..sub(tostr(peek(0x6000+y*64+x),true),5,6)
 end
 printh("scr "..s)
end
