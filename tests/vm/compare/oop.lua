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
