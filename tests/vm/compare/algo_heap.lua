-- binary heap priority queue
local Heap = {}
Heap.__index = Heap
function Heap.new() return setmetatable({n = 0}, Heap) end
function Heap:push(v)
  self.n = self.n + 1 local i = self.n self[i] = v
  while i > 1 do local p = (i - i % 2) / 2 if self[p] <= self[i] then break end self[p], self[i] = self[i], self[p] i = p end
end
function Heap:pop()
  local top = self[1] self[1] = self[self.n] self[self.n] = nil self.n = self.n - 1
  local i = 1
  while true do
    local l, r, m = 2 * i, 2 * i + 1, i
    if l <= self.n and self[l] < self[m] then m = l end
    if r <= self.n and self[r] < self[m] then m = r end
    if m == i then break end
    self[m], self[i] = self[i], self[m] i = m
  end
  return top
end
local h = Heap.new()
for i = 1, 50 do h:push((i * 73) % 97) end
local out = {}
while h.n > 0 do out[#out + 1] = h:pop() end
print(table.concat(out, " "))
