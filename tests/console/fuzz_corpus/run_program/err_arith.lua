-- the line is where the error happened, inside the called function
local function f(x)
  return x + 1
end
print(f(1))
print(f({}))
