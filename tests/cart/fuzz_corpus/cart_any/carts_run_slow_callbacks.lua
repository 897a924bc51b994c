-- slow Lua code that C calls (count's __eq, finalisers of a dropped level)
-- cannot yield; it must finish, not stop the cart, at 60 frames a second
local mt = {__eq = function(a, b) return a.v == b.v end}
freed = 0
local gc = {__gc = function(o) local s = 0 for i = 1, 20 do s = s + i end freed = freed + 1 end}
frame = 0
function _update60()
 frame += 1
 if frame == 2 then
  local t = {}
  for i = 1, 30000 do t[i] = setmetatable({v = i % 7}, mt) end
  printh(count(t, setmetatable({v = 3}, mt)))
 elseif frame == 3 then
  local level = {}
  for i = 1, 9000 do level[i] = setmetatable({i}, gc) end
 elseif frame > 3 then
  local junk = {} for i = 1, 200 do junk[i] = {} end
  if freed == 9000 then printh(freed) stop() end
 end
end
