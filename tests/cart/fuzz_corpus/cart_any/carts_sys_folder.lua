extcmd("folder")
for i = 1, 30 do flip() end
