-- functions, methods, varargs, tail calls and upvalues across levels
local obj = {n = 0}
function obj.inc(self, k) self.n = self.n + (k or 1); return self end
function obj:dec(k) self.n = self.n - k end
obj:inc(2):inc()
obj:dec(1)
local function outer(a, ...)
  local b = select("#", ...)
  local function middle()
    local function inner() a = a + b; return a end
    return inner
  end
  return middle()()
end
local function va(...)
  local x, y = ...
  return select(2, ...), ..., x, y
end
local function tail(n) if n > 0 then return tail(n - 1) end return "done" end
print(outer(1, 2, 3), va(4, 5, 6), tail(3))
print(("x"):rep(3), #{va()})
f = function(a, b, ...) return a end
