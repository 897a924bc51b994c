local n = 0
local mt = {__gc = function(o) n = n + 1 local t = {} for i = 1, 50 do t[i] = i end end}
for i = 1, 200 do setmetatable({}, mt) local junk = {i, i .. ""} end
local co = cocreate(function() for i = 1, 100 do yield(i) end end)
while costatus(co) ~= "dead" do coresume(co) end
return n
