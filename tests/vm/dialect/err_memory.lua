-- a program that grows without end gets the memory error; sixteen copies a
-- step reach the runner's cap within a few steps, whose strings are far
-- cheaper to build under the sanitizers than the many of a doubling
local s = "x"
while true do s = s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s .. s end
