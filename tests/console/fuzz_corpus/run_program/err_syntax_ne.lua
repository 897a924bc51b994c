-- != is the preprocessor's
local a, b = 1, 2
if a != b then end
