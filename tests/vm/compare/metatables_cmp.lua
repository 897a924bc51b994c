-- comparison, index, newindex, call metamethods
local mt = {}
mt.__eq = function(a, b) return a.v == b.v end
mt.__lt = function(a, b) return a.v < b.v end
mt.__le = function(a, b) return a.v <= b.v end
local function o(v) return setmetatable({v = v}, mt) end
local x, y, z = o(1), o(2), o(1)
print(x == z, x ~= y, x < y, y < x, x <= z, y >= x, x > y)
print(rawequal(x, z))
local log = {}
local proxy = setmetatable({}, {
  __index = function(t, k) log[#log + 1] = "get " .. k return k .. "!" end,
  __newindex = function(t, k, v) log[#log + 1] = "set " .. k rawset(t, k, v) end,
  __call = function(self, a, b) return a + b, self == nil end,
})
print(proxy.foo)
proxy.bar = 1
print(proxy.bar)
proxy.bar = 2
print(proxy(3, 4))
print(table.concat(log, ","))
local base = {greet = function(self) return "hi " .. self.name end}
local obj = setmetatable({name = "bob"}, {__index = base})
print(obj:greet())
local chain = setmetatable({}, {__index = setmetatable({}, {__index = {deep = 7}})})
print(chain.deep)
local prot = setmetatable({}, {__metatable = "locked"})
print(getmetatable(prot))
print(pcall(setmetatable, prot, {}))
