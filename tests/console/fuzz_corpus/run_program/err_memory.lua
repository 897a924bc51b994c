-- a program that grows without end gets the memory error
local s = "x"
while true do s = s .. s end
