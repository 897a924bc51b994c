-- the peek operators over the stand-in memory (all zero) and their priorities
local a, b = 0x5f00, 3
print(@a, %a, $a, @0, %-1, $65535.5, @"12", @(a + 70000))
print(@a - 1, -@a, @1 + 1, %1 + 5, %a % b, %a%b, $a .. "x", ~@a, @@a, -$a - 2)
print(@1 ^ 2, @a < 1, @a == 0, type(@a), 1 + @a * 2)
-- an operand that is not a number goes to the metamethods, with 0 as the second operand
local mt = {}
function mt.__peek(x, y) return "peek1:" .. tostring(y) end
function mt.__peek2(x, y) return "peek2:" .. tostring(y) end
function mt.__peek4(x, y) return "peek4:" .. tostring(y) end
function mt.__not(x, y) return "not:" .. tostring(y) end
local t = setmetatable({}, mt)
print(@t, %t, $t, ~t)
local other = setmetatable({}, mt)
function mt.__idiv(x, y) return x == t and y == other end
function mt.__shl(x, y) return "shl" end
function mt.__rotr(x, y) return y end
print(t \ other, t << 1, 1 << t, 5 >>< t == t)
print(1 - %a, 1 % %2, 2 * @1, 5 - -@1, 3 ^ @1, @1 .. @2)
