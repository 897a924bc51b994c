local a, b = 1, 2
print(a << b, a >>> 1, a <<> b, a >>< b, a ^^ b, ~a, @a, %a, $a, a \ b)
