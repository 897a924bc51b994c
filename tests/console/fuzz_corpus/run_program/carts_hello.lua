printh("hello")
