-- integer arithmetic within 16 bits
print(1 + 2, 10 - 20, 6 * 7, 100 / 4, 7 % 3, 2 ^ 10)
print(-7 % 3, 7 % 3, 17 % 5, -1 % 5)
print(1000 * 30, 32767, -32768, 30000 + 2767)
print(100 / 8, 1 / 4, 3 / 2, -5 / 2)
print(math.floor(7 / 2), math.floor(-7 / 2), math.ceil(7 / 2))
print(math.max(3, 9, 1), math.min(3, 9, 1), math.abs(-12))
print(math.fmod(7, 3), math.fmod(-7, 3))
print(8 == 8.0, 1 < 2, 2 <= 2, 3 > 4)
local s = 0
for i = 1, 100 do s = s + i end
print(s)
for i = 10, 1, -3 do io_x = i print(i) end
for i = 1, 0 do print("never") end
for i = 0.5, 2, 0.5 do print(i) end
print(tonumber("12"), tonumber("0x10"), tonumber("  5  "), tonumber("z"), tonumber("1e2"))
print(tonumber("ff", 16), tonumber("777", 8), tonumber("101", 2), tonumber("zz", 36), tonumber("9", 8))
print(2^15 - 1, 0.25 + 0.5, 1.5 * 4)
print(string.format("%d %i %5d %-5d| %05d %x %X %o", 42, -7, 3, 3, 12, 255, 255, 8))
print(string.format("%.3f %g %e", 1.5, 0.25, 2))
