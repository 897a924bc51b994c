-- an error in a finaliser stops the cart with a report, never an abort
for i = 1, 100 do setmetatable({}, {__gc = function() local x = nil x() end}) end
function _update() local t = {} for i = 1, 300 do t[i] = {} end end
