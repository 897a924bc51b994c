printh("ran")
