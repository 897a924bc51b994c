u=[[x [[ y]]
printh(u)
x = 1
x += 1
printh(x)
