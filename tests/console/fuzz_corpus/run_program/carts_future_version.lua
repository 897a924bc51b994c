printh("from the future")
