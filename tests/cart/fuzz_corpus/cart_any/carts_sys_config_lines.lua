config = "kept"
printh("config is "..config)
