-- no-budget: library functions calling back into Lua (a forced yield there is an error by design)
local obj = setmetatable({}, {__tostring = function(x) return "T!" end})
print(tostring(obj), obj)
-- __eq through del and count; del returns the table's element
local eqmt = {__eq = function(a, b) return a.k == b.k end}
local function mk(k) return setmetatable({k = k}, eqmt) end
local x1, x2 = mk(1), mk(2)
local t = {x1, x2, mk(1)}
local probe = mk(1)
print(count(t, probe), del(t, probe) == x1, #t, t[1] == x2)
-- __len decides where add appends and what count counts
local lt = setmetatable({}, {__len = function() return 2 end})
print(add(lt, "v"), rawget(lt, 3), count(lt))
local pt = setmetatable({}, {__pairs = function(t)
  return function(_, k) if not k then return 1, "one" end end, t, nil
end})
for k, v in pairs(pt) do print("pairs", k, v) end
local it = setmetatable({}, {__ipairs = function(t)
  return function(_, i) if i < 2 then return i + 1, "v" .. (i + 1) end end, t, 0
end})
for i, v in ipairs(it) do print("ipairs", i, v) end
-- a yield inside a metamethod called by a library function cannot cross it
local co = cocreate(function()
  return tostring(setmetatable({}, {__tostring = function() yield(1) return "x" end}))
end)
print(coresume(co))
print(costatus(co))
