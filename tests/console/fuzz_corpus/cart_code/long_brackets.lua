s=[=[
a != b
x += 1
?hello
]=]
t=[==[one -- two]==]
u=[[x [[ y]]
x += 1
--[=[ c
]] ]=] y = 5
--[==[ open
z -= 1
