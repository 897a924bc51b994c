-- coroutine ping-pong
local rounds = 1100
local co = coroutine.create(function(v)
  while true do v = coroutine.yield((v * 3 + 1) % 10007) end
end)
local v = 1
for _ = 1, rounds do
  for _ = 1, 10000 do
    local _, r = coroutine.resume(co, v)
    v = r
  end
end
print(v)
