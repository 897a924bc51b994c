local t, s = {}, "x"
for i = 1, 100000 do t[i] = s .. i s = s .. "y" end
