-- coroutines: cocreate, coresume, costatus and yield
-- A forced yield (budget spent) returns from coresume as true with no values;
-- resume() hides it, so every explicit yield here passes at least one value.
local function resume(co, ...)
  local r = pack(coresume(co, ...))
  while r[1] and r.n == 1 and costatus(co) == "suspended" do r = pack(coresume(co)) end
  return unpack(r, 1, r.n)
end
local co = cocreate(function(a, b)
  local c = yield(a + b)
  local d, e = yield(c * 2, "two")
  return d + e, "end"
end)
print(type(co), costatus(co))
print(resume(co, 1, 2))
print(costatus(co))
print(resume(co, 5))
print(resume(co, 3, 4))
print(costatus(co))
print(resume(co))
print(resume(co, 1))
-- generator
local function range(n)
  return cocreate(function() for i = 1, n do yield(i) end return "done" end)
end
local g, s = range(5), ""
while true do
  local ok, v = resume(g)
  s = s .. " " .. tostring(v)
  if costatus(g) == "dead" then break end
end
print("gen:" .. s)
-- statuses seen from inside
local outer
outer = cocreate(function()
  local inner = cocreate(function() return costatus(outer), costatus(cocreate(print)) end)
  return costatus(outer), resume(inner)
end)
print(resume(outer))
-- a coroutine resuming itself, and errors inside coroutines
local self
self = cocreate(function() return coresume(self) end)
print(resume(self))
local bad = cocreate(function(x) local t = nil yield(x) return t.field end)
print(resume(bad, "first"))
print(resume(bad))
-- a coroutine that died of an error is refused by the resume itself, without the corolib prefix
print(costatus(bad), resume(bad))
-- yields pass any values, nil included, in both directions
local echo = cocreate(function(...)
  local args = pack(...)
  while true do args = pack(yield(args.n, unpack(args, 1, args.n))) end
end)
print(resume(echo, nil, 2, nil))
print(resume(echo))
print(resume(echo, "x"))
-- wrapped coroutines nest
local function count_to(n)
  local c = cocreate(function() for i = 1, n do yield(i) end end)
  local sum = 0
  while true do
    local ok, v = resume(c)
    if v == nil then break end
    sum = sum + v
  end
  return sum
end
local nest = cocreate(function() yield(count_to(10)) return count_to(100) end)
print(resume(nest))
print(resume(nest))
