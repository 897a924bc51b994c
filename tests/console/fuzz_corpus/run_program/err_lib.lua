-- a library error carries the position of its caller, whose line is reported
print(sub("abc", 2))
local s = sub(nil, 1)
