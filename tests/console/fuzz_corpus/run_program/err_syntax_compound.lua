-- compound assignment is the preprocessor's business, not the compiler's
local a = 1
a += 1
