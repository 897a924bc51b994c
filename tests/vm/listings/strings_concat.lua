-- strings with escapes, long strings and concatenation chains
local a = "tab\there\nnew \"quoted\" \\ back \65\066 \x41\z
           skip"
local b = 'single \'quote\''
local c = [[long
string]]
local d = [==[with ]] inside]==]
local e = a .. b .. c .. d
local f = (a .. b) .. (c .. d)
local g = a .. 1 .. 2
local h = "" .. #a
print(e, f, g, h, "\0", "\255\1\127")
