-- evmTy shrothand of = 3 t["k"] *
?s=2  =the dialect
x = 1 y = 2
if (x != y) ?"differ"
while (x < 4)ÿ x += 1
t = {n = 0} t.n -= 1 t["k"] = 3 t["k"]y shrothand of = 3 t["k"] *
?s=2  =the dialect
x = 1 y = 2
if (x != y) ?"differ"
while (x < 4)ÿ x += 1
t = {n = 0} t.n -= 1 t["k"] = 3 t["k"] *= 2
s = "a += 1 != 2" .--[[ a long
comment ]] b = -1 c = ~? d = 0x1f.8 + 0b101 e = .5
function f(...) local g = {...} return #g end
::top:: goto top
