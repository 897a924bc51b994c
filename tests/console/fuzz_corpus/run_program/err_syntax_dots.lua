-- 1..2 is one malformed numeral
x = 1..2
