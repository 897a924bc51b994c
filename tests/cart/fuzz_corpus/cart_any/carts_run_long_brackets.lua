s=[=[
a != b
x += 1
?hello
]=]
printh(s)
t=[==[one -- two]==]
printh(t)
u=[[x [[ y]]
printh(u)
x = 1
x += 1
printh(x)
--[=[ long
comment ]] ]=] y = 5
y *= 2 if (y > 5) printh(y)
