-- coroutines: resume, yield, status, wrap
local co = coroutine.create(function(a, b)
  print("start", a, b)
  local c = coroutine.yield(a + b)
  print("got", c)
  local d, e = coroutine.yield(c * 2)
  print("got2", d, e)
  return "done", 99
end)
print(coroutine.status(co))
print(coroutine.resume(co, 1, 2))
print(coroutine.status(co))
print(coroutine.resume(co, 10))
print(coroutine.resume(co, "x", "y"))
print(coroutine.status(co))
local gen = coroutine.wrap(function() for i = 1, 3 do coroutine.yield(i) end end)
print(gen(), gen(), gen())
local function producer() return coroutine.create(function() for i = 1, 4 do coroutine.yield("item" .. i) end return nil end) end
local p = producer()
while true do local ok, v = coroutine.resume(p) if not v then break end io_x = v print(v) end
local outer
outer = coroutine.create(function()
  local inner = coroutine.create(function() print("inner sees outer", coroutine.status(outer)) coroutine.yield() end)
  coroutine.resume(inner)
  print("inner status", coroutine.status(inner))
end)
coroutine.resume(outer)
local r, ismain = coroutine.running()
print(type(r), ismain)
