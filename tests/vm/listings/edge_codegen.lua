-- corners of the generator: conflicts in multiple assignment, value-producing
-- conditions, LOADNIL merging, jumps closing upvalues, open results
local a, i = {}, 1
a[i], i = i, a[i]
local up = {}
local function setter() up, up.x = 1, 2 end
local x = x or {}
local y = a and i or nil
local z = not (a == i) and (i < 2 or i > 5)
local w = a ~= nil and not i
local n1; local n2; local n3 = nil
local p, q, r = setter()
local s, t = setter(), setter()
a.b = a.b
a.b.c = a[i][i + 1]
while not a do a = i end
if a then elseif i then else end
local u = {f = function() return end, [i] = i == 1, a and 1 or 2}
return a and i or z, (setter())
