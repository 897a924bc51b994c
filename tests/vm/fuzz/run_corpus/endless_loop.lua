local n = 0
while true do n = n + 1 end
