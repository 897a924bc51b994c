s=[=[
a != b
x += 1
?hello
]=]
printh(s)
t=[==[one -- two]==]
printh(t)
