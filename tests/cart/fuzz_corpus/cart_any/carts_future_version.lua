printh("from the future")
