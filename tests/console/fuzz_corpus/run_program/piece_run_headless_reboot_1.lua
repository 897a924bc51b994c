printh("before")
reboot()
