-- generators, pipelines and passing values both ways
local function gen(n) return coroutine.wrap(function() for i = 1, n do coroutine.yield(i) end end) end
local function filter(pred, g) return coroutine.wrap(function() for v in g do if pred(v) then coroutine.yield(v) end end end) end
local function map(f, g) return coroutine.wrap(function() for v in g do coroutine.yield(f(v)) end end) end
local out = {}
for v in map(function(x) return x * x end, filter(function(x) return x % 2 == 0 end, gen(10))) do out[#out + 1] = v end
print(table.concat(out, " "))
local acc = coroutine.create(function(first)
  local total = first
  while true do local v = coroutine.yield(total) if v == nil then break end total = total + v end
  return "final", total
end)
print(coroutine.resume(acc, 1))
print(coroutine.resume(acc, 2))
print(coroutine.resume(acc, 3))
print(coroutine.resume(acc))
print(coroutine.status(acc))
local function tree_walk(t) if type(t) ~= "table" then coroutine.yield(t) return end for _, c in ipairs(t) do tree_walk(c) end end
local leaves = {}
for leaf in coroutine.wrap(function() tree_walk({1, {2, {3, 4}}, {{5}}, 6}) end) do leaves[#leaves + 1] = leaf end
print(table.concat(leaves, ","))
local ping = coroutine.create(function() for i = 1, 3 do coroutine.yield("ping" .. i) end end)
for _ = 1, 4 do print(coroutine.resume(ping)) end
