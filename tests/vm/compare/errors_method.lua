-- argument errors in method calls and through fields
local function strip(e) if type(e) == "string" then return (e:gsub("^[^\n]-:%d+: ", "")) end return e end
local function try(f) local ok, e = pcall(f) print(ok, strip(e)) end
try(function() return ("x"):rep({}) end)
try(function() local s = 5 return s:upper() end)
try(function() return string.rep() end)
try(function() local t = {cat = table.concat} return t.cat(1, 2) end)
try(function() local str = string return str.byte({}) end)
try(function() local m = {} m.f = function(self) return self.x.y end return m:f() end)
try(function() return coroutine.create(5) end)
try(function() return math.floor("a") end)
try(function() return ("%d"):format({}) end)
try(function() return tostring(nil) .. nil end)
try(function() local t = setmetatable({}, {__index = function(t, k) error("no field " .. k) end}) return t.zzz end)
try(function() return next({}, "missing") end)
