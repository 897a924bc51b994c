printh("hello")
