-- tostring/tonumber round trips and type names
print(type(nil), type(true), type(1), type("s"), type({}), type(print), type(coroutine.create(print)))
print(tostring(nil), tostring(false), tostring(123), tostring(-0.5))
print(tonumber("  0x1F  "), tonumber("1.5"), tonumber(".5"), tonumber("5."), tonumber(""), tonumber(" "), tonumber("1 2"))
print(tonumber(nil), tonumber(true), tonumber({}))
print(tonumber("10", 36), tonumber("-ff", 16), tonumber(" +11 ", 2), tonumber("1.5", 10))
print(1 == 1.0, "1" == 1, 0.5 == 1 / 2)
print(#tostring(print) > 0, tostring({}):sub(1, 6))
print(math.floor(3.75), math.ceil(-3.25), math.abs(-0.5), math.max(0.25, 0.5))
