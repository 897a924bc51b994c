-- method calls through __index
local Base = {}
Base.__index = Base
function Base:get() return self.v end
local Counter = setmetatable({}, {__index = Base})
Counter.__index = Counter
function Counter.new() return setmetatable({v = 0}, Counter) end
function Counter:inc(d) self.v = (self.v + d) % 10007 return self end
local rounds = 2500
local c = Counter.new()
for _ = 1, rounds do
  for i = 1, 10000 do c:inc(i % 7) end
  c:inc(c:get() % 3)
end
print(c:get())
