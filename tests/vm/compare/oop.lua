-- classes and inheritance through __index
local Animal = {}
Animal.__index = Animal
function Animal.new(name, sound) local self = setmetatable({}, Animal) self.name = name self.sound = sound return self end
function Animal:speak() return self.name .. " says " .. self.sound end
function Animal:kind() return "animal" end
local Dog = setmetatable({}, {__index = Animal})
Dog.__index = Dog
function Dog.new(name) local self = Animal.new(name, "woof") return setmetatable(self, Dog) end
function Dog:kind() return "dog" end
function Dog:fetch() return self.name .. " fetches" end
local a, d = Animal.new("cat", "meow"), Dog.new("rex")
print(a:speak(), a:kind())
print(d:speak(), d:kind(), d:fetch())
print(getmetatable(d) == Dog, rawget(d, "speak"))
local Stack = {}
Stack.__index = Stack
function Stack.new() return setmetatable({n = 0, items = {}}, Stack) end
function Stack:push(v) self.n = self.n + 1 self.items[self.n] = v end
function Stack:pop() local v = self.items[self.n] self.items[self.n] = nil self.n = self.n - 1 return v end
local st = Stack.new()
for i = 1, 5 do st:push(i * i) end
print(st:pop(), st:pop(), st.n)
-- __index chains: the depth bound, handlers at every hop, misses, changes between lookups
local function chain(n, leaf) -- n tables, each indexing the next; the last one holds the key
  local t = {key = leaf}
  for _ = 2, n do t = setmetatable({}, {__index = t}) end
  return t
end
for _, n in ipairs({1, 2, 3, 99, 100, 101}) do
  local ok, v = pcall(function() return chain(n, "found").key end)
  local ok2, v2 = pcall(function() return chain(n, "found"):nothing() end)
  print("chain", n, ok, (v:gsub("^.-:%d+: ", "")), ok2, (v2:gsub("^.-:%d+: ", "")))
end
local function why(ok, e) return ok, (tostring(e):gsub("^.-:%d+: ", "")) end
local ring1, ring2 = {}, {}
setmetatable(ring1, {__index = ring2}) setmetatable(ring2, {__index = ring1})
print(why(pcall(function() return ring1.x end)))
local seen
local mid = setmetatable({}, {__index = function(t, k) seen = t return k .. "!" end})
local top = setmetatable({}, {__index = mid})
print(top.x, seen == mid, rawget(top, "x"), rawget(mid, "x"))
local direct = setmetatable({}, {__index = function(t, k) seen = t return k .. "?" end})
print(direct.y, seen == direct, direct[3], seen == direct)
local viastring = setmetatable({}, {__index = setmetatable({}, {__index = "abc"})})
print(viastring.len == string.len, viastring.nope)
print(why(pcall(function() return setmetatable({}, {__index = setmetatable({}, {__index = 5})}).x end)))
local Base2 = {}
local Mid2 = setmetatable({}, {__index = Base2})
local obj = setmetatable({}, {__index = Mid2})
local seq = {}
for i = 1, 10 do
  if i == 2 then Base2.f = "base" end
  if i == 3 then Mid2.f = "mid" end
  if i == 4 then obj.f = "own" end
  if i == 5 then obj.f = nil end
  if i == 6 then Mid2.f = nil end
  if i == 7 then setmetatable(Mid2, nil) end
  if i == 8 then setmetatable(Mid2, {__index = function(t, k) return k .. "@" .. tostring(t == Mid2) end}) end
  if i == 9 then getmetatable(Mid2).__index = {f = "swapped"} end
  if i == 10 then setmetatable(obj, nil) end
  seq[#seq + 1] = tostring(obj.f) .. "/" .. tostring(rawget(obj, "f"))
end
print(table.concat(seq, " "))
local lazymt = {}
local Lazy = setmetatable({}, lazymt)
local lazy = setmetatable({}, {__index = Lazy})
local before = lazy.z -- looked up once with no __index on Lazy's metatable
rawset(lazymt, "__index", {z = "late"})
print(before, lazy.z, Lazy.z)
local m0 = {}
local o0 = setmetatable({}, m0)
local b0 = o0.q -- no __index yet
m0.__index = {q = "now"}
local b1 = o0.q
m0.__index = nil
local b2 = o0.q
rawset(m0, "__index", function(t, k) return k .. "#" end)
print(b0, b1, b2, o0.q)
