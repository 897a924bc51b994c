-- Library functions calling back into Lua: a budget that runs out there puts
-- the yield off to the first instruction that can yield, so every budget
-- prints the same.
local function work(n) local s = 0 for i = 1, n do s = s + i end return s end
local obj = setmetatable({}, {__tostring = function(x) return "T" .. work(20) end})
print(tostring(obj), obj)
-- __eq through del and count; del returns the table's element
local eqmt = {__eq = function(a, b) work(10) return a.k == b.k end}
local function mk(k) return setmetatable({k = k}, eqmt) end
local x1, x2 = mk(1), mk(2)
local t = {x1, x2, mk(1)}
local probe = mk(1)
print(count(t, probe), del(t, probe) == x1, #t, t[1] == x2)
-- __len decides where add appends and what count counts
local lt = setmetatable({}, {__len = function() return work(2) - 1 end})
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
-- (a budget may stop the coroutine first: resume until it ends)
local ok, err
repeat ok, err = coresume(co) until costatus(co) == "dead"
print(ok, err)
-- finalisers run by the collector, while plain code allocates
local finalised = 0
local gcmt = {__gc = function(o) finalised = finalised + work(o.n) end}
for i = 1, 30 do setmetatable({n = 10}, gcmt) end
local keep
for i = 1, 4000 do keep = {i, i .. "x"} end
print("finalised", finalised > 0, finalised % 55)
