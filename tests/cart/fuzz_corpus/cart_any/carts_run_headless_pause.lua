extcmd("pause")
extcmd("controls")
n = 0
function _update()
 n += 1
 if n == 3 then printh("three frames") stop() end
end
