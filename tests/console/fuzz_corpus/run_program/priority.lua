-- operator priorities and associativity of the dialect
local a, b, c, d = 8, 4, 12, 6
print(2 ^ 3 ^ 2, -2 ^ 2, 2 ^ -1, -a ^ 0.5 == -(a ^ 0.5))
print(1 + 2 << 3, 1 << 2 + 1, 1 << 4 >> 2, 256 >> 2 >> 1, 1 <<> 2 >>< 1)
print(6 & 3 == 2, a | b ^^ c & d, 3 ^^ 1 | 1, 6 ^^ 3 & 5, 5 & 4 ~= 0)
print("1" .. "2" << 1, 1 .. 2 + 3, 1 << 2 > 3, 1 | 2 < 4)
print(7 \ 2 * 2, 2 * 7 \ 2, 1 + 7 \ 2, 7 \ 2 ^ 2, -7 \ 2)
print(~1 & 3, ~0 >>> 16, ~2 ^ 2 == ~4, - -1, 1 - -1)
print(not 1 == 2, 1 or 2 and 3, nil and 1 or 2, 1 < 2 == true)
print("a" .. "b" .. "c" == "abc", 2 * 3 % 4, 2 + 3 * 4 ^ 2 / 8)
-- the same expressions at run time (operands in locals, nothing folds)
local one, two, three, four = 1, 2, 3, 4
print(two ^ three ^ two, -two ^ two, one + two << three, one << two + one, a | b ^^ c & d)
print(7 \ two * two, ~one & three, one .. two + three, 6 & three == two)
print(2 ^ -3 ^ 2, -2 ^ -1, #"abc" + 1, -#"ab", not nil == true)
