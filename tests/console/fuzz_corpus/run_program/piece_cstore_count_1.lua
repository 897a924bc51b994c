local v=peek(0) printh(v) poke(0,v+1) cstore(0,0,1)
