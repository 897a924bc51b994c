-- Unary bit not and peeks never fold; the constant table holds the 0 they use.
return ~x, ~5, @0x5f00, %0x5f00, $0x5f00, -x, - -3
