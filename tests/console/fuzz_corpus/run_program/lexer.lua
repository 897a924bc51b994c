-- lexer: the console's string escapes, wide name characters, numerals next to operators
print("\*" == "\1", "\#" == "\2", "\-" == "\3", "\|" == "\4", "\+" == "\5", "\^" == "\6")
print(#"\*\#\-\|\+\^", "\x41\65\z
      B", "a\
b" == "a\nb", '\'' .. "\"" .. "\\")
local cafÃ©, x, _€ = 1, 2, 3
print(cafÃ© + x + _€)
local s = [==[
first]]line
second]==]
print(s, #s)
--[[ a long
comment ]] print("after long comment") --[=[ another ]=] print("x" --[[inline]] .. "y")
print(1 ..2, 2^-2, 3>>1, 3>>>1, 3>><1 == 3 >>< 1, 3<<>1, 5^^3)
local a, b = 6, 3
print(a<<b, a>>b, a&b, a|b, a^^b, ~a==-a-0x0.0001, a\b, a%b, a~=b)
print(0xA, 0Xa.8, 0b1.1, 0B10, .25, 3e2, 1e-1 == 0.1, 0x10 .. "")
print(0xe+1, 1e+5, 2e-1, 0x1E)
