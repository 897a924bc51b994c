-- __gc finalizers and weak tables under full collections
local order = {}
do
  for i = 1, 3 do setmetatable({}, {__gc = function() order[#order + 1] = i end}) end
end
collectgarbage()
collectgarbage()
table.sort(order)
print(#order, table.concat(order, ","))
local weakv = setmetatable({}, {__mode = "v"})
local weakk = setmetatable({}, {__mode = "k"})
local keep = {}
weakv[1] = {} weakv[2] = keep
weakk[{}] = 1 weakk[keep] = 2
collectgarbage()
local nk = 0 for _ in pairs(weakk) do nk = nk + 1 end
print(weakv[1], weakv[2] == keep, nk)
local resurrect
setmetatable({name = "r"}, {__gc = function(o) resurrect = o end})
collectgarbage()
print(resurrect and resurrect.name)
print(collectgarbage("isrunning"), type(collectgarbage("count")))
