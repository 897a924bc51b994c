a = [[ open
--[[ open
s = "open
t = 'x\