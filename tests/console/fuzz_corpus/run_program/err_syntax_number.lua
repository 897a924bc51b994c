-- no exponents in hex numerals
x = 0x1p4
