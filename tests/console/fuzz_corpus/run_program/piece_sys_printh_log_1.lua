printh("first", "log.txt", true)
printh("second", "log.txt")
printh("sub", "deep/../x.txt")
