-- numeric for near the ends of the number range: it stops instead of wrapping
local function run(label, a, b, c)
  local s = ""
  for i = a, b, c do s = s .. " " .. i end
  print(label .. ":" .. s)
end
run("32766,32767,1", 32766, 32767, 1)
run("32766,32767.99998,1", 32766, 32767.99998, 1)
run("32760,32767,3", 32760, 32767, 3)
run("0,32767,16384", 0, 32767, 16384)
run("-32768,32767,32767", -32768, 32767, 32767)
run("-32767,-32768,-1", -32767, -32768, -1)
run("-32760,-32768,-5", -32760, -32768, -5)
run("0,1,0.25", 0, 1, 0.25)
run("1,3,0", 1, 3, 0)
run("1,0,1", 1, 0, 1)
run("3,1,-1", 3, 1, -1)
run("strings", "1", "2", "1")
run("hex strings", "0x1", " 0b11 ", 1)
-- a start one step short of the largest raw value stops before reaching it
local n = 0
for i = 0x7ffe.ffff, 0x7fff.ffff do n = n + 1 end
print("to 0x7fff.ffff", n)
-- the omitted step is 1; the loop variable is a fresh copy each time
for i = 32767, 32767 do print("single", i) end
local fs = {}
for i = 1, 3 do fs[i] = function() return i end end
print(fs[1](), fs[2](), fs[3]())
for i = "1", 2 do print(type(i), i) end
-- the set-up subtracts the step once, wrapping, and the loop still starts right
run("-32768,-32768,1", -32768, -32768, 1)
run("32767,32767,-1", 32767, 32767, -1)
run("32767.5,32767.99998,1", 32767.5, 32767.99998, 1)
run("0,-32768,-16384", 0, -32768, -16384)
run("-1,-32768,-10923", -1, -32768, -10923)
