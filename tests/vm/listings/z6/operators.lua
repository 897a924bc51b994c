-- The console's operators between registers: each is one instruction with
-- the operator's opcode; the unary ones carry the constant 0 as C.
local a, b = 5, 3
local r1 = a & b
local r2 = a | b
local r3 = a ^^ b
local r4 = a << b
local r5 = a >> b
local r6 = a >>> b
local r7 = a <<> b
local r8 = a >>< b
local r9 = a \ b
local r10 = ~a
local r11 = @a
local r12 = %a
local r13 = $a
local r14 = %a%b
local r15 = @a-1
local r16 = -@a
local r17 = a&b==a
local r18 = a|b^^a&b
local r19 = a..b<<1
local r20 = ~a&b
local r21 = a << 2
