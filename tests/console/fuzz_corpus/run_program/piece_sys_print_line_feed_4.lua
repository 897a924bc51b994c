printh(tostr(ink > 0)..' '..bg..' '..peek(0x5f26)..' '..peek(0x5f27))
