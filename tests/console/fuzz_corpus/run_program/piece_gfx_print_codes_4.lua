cls(1)
print("plain text",0,0,7)
