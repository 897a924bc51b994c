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
