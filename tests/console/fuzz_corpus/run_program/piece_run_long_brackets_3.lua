--[=[ long
comment ]] ]=] y = 5
y *= 2 if (y > 5) printh(y)
