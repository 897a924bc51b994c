printh("hello")
 