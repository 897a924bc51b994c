function f()
  x = 1
