printh("ran")
