local t = setmetatable({}, {__len = function() while true do end end})
add(t, 1)
