-- every shorthand of the dialect
x = 1 y = 2
if (x != y) ?"differ"
while (x < 4) x += 1
t = {n = 0} t.n -= 1 t["k"] = 3 t["k"] *= 2
s = "a += 1 != 2" .. [[long
string]] s ..= 'q'
a = 5 a /= 2 a \= 1 a %= 3 a &= 7 a |= 8 a ^^= 1
a <<= 1 a >>= 1 a >>>= 1 a <<>= 2 a >><= 2 a ^= 2
--[[ a long
comment ]] b = -1 c = ~2 d = 0x1f.8 + 0b101 e = .5
function f(...) local g = {...} return #g end
::top:: goto top
