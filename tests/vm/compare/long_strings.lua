-- long strings and comments
local s = [[
line1
line2]]
print(s, #s)
local s2 = [==[with ]] inside]==]
print(s2)
--[[ block
comment ]] print("after comment")
--[==[ another
]==]
print([[a\nb]], "a\\nb")
local multi = "x\
y"
print(multi, #multi)
print(#[[

]])
