-- a runtime error ends the program with its text and line
print("before")
local t = {}
t.missing()
print("after")
