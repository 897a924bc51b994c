-- _init once, then _update and _draw each frame at 30 fps
function _init() printh("init") end
function _update()
 printh("u"..stat(7))
 n = (n or 0) + 1
 if n == 3 then stop() end
end
function _draw() printh("d") end
