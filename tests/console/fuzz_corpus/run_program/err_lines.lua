-- mixed line breaks
local s = "a\
b"
print(#s)local t = nil

print(t.x)
