-- load, environments and _ENV
local f = load("return 1 + 2")
print(f())
local g = load("x = 10 return x", "chunk", "t", {})
print(g(), x)
local env = {print = print}
local h = load("y = 5 print(y)", "c", "t", env)
h()
print(env.y, y)
local parts = {"return ", "4", " * ", "5"}
local i = 0
local k = load(function() i = i + 1 return parts[i] end)
print(k())
local bad, msg = load("return +")
print(bad, type(msg))
local function withenv()
  local _ENV = {tostring = tostring}
  z = 3
  return tostring(z)
end
print(withenv(), z)
print(_G._G == _G, _VERSION)
local code = "local a, b = ... return a * b"
print(load(code)(6, 7))
