-- names that end or restart the run are called by carts of their own
local ends = {run=1, stop=1, load=1, __load=1, reboot=1, shutdown=1, exit=1,
 __stop=1, flip=1, __flip=1, __superyield=1, yield=1, holdframe=1, _startframe=1,
 keyconfig=1, folder=1, extcmd=1, __extcmd=1,
 cartdata=1} -- cart data opens once, above
local ordinary = {1, 2, 3}
local function tbl() return {1, 2, 3} end
local special = {
 pairs = function() return tbl() end, ipairs = function() return tbl() end,
 next = function() return tbl() end, all = function() return tbl() end,
 foreach = function() return tbl(), print end, rawlen = function() return tbl() end,
 unpack = function() return tbl() end, rawget = function() return tbl(), 1 end,
 rawset = function() return tbl(), 1, 2 end, setmetatable = function() return tbl(), {} end,
 add = function() return tbl(), 4, 1 end, del = function() return tbl(), 2 end,
 deli = function() return tbl(), 1 end, count = function() return tbl() end,
 cocreate = function() return function() end end,
 costatus = function() return cocreate(function() end) end,
 coresume = function() return cocreate(function() end) end,
}
local called = 0
cartdata("sys_every_name")
for name, f in pairs(_ENV) do
 if type(f) == "function" and not ends[name] then
  local a, b, c = ordinary[1], ordinary[2], ordinary[3]
  if special[name] then a, b, c = special[name]() end
  local co = cocreate(function() f(a, b, c) end)
  local ok, err = coresume(co)
  if not ok then printh("error in "..name..": "..tostr(err)) end
  called += 1
 end
end
for c in all({"rec", "set_filename", "set_title", "pause", "controls", "label",
 "screen", "video", "reset"}) do extcmd(c, "name", 0) end
printh("called more than 100: "..tostr(called > 100))
