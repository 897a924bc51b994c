printh("before")
reboot()
