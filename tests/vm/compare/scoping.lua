-- scoping, shadowing and globals
x = "global"
local x = "local"
print(x, _G.x)
do local x = "inner" print(x) end
print(x)
local function f() local x = "f" return x end
print(f(), x)
for x = 1, 2 do io_v = x end
print(x)
local y = 1
local function g() y = y + 1 end
g() g()
print(y)
local t = {}
function t.method(self) return self == t end
function t:m2() return self == t end
print(t:method(), t.m2(t))
local a = {b = {}}
function a.b.c() return "nested" end
print(a.b.c())
