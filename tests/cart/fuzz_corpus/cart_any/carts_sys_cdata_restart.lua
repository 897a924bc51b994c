cartdata("sys_cdata_restart")
local n=dget(0)
printh("run "..n.." param "..stat(6))
dset(0,n+1)
if n==0 and stat(6)=="" then run("a")
elseif n==1 then extcmd("reset")
else printh("done") end
