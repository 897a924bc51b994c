-- '@' whose count runs past the text: two bytes poked, then the line feed
poke(0x4302, 0x55)
print("\6@43000009ab", 0, 20)
printh(peek(0x4300)..' '..peek(0x4301)..' '..peek(0x4302)..' '..peek(0x5f27))
