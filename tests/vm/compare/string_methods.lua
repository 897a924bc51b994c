-- method calls on strings and numbers-to-strings
local s = "Lua"
print(s:len(), ("x"):rep(2), s:upper():lower())
print(("%d-%d"):format(1, 2))
local n = 42
print(tostring(n):len(), #tostring(n))
print(("abc"):find("b", 1, true))
local parts = {}
for word in ("a,b,c,d"):gmatch("[^,]+") do parts[#parts + 1] = word:upper() end
print(table.concat(parts, ";"))
local function split(str, sep) local out = {} for piece in (str .. sep):gmatch("(.-)" .. sep:gsub("%p", "%%%0")) do out[#out + 1] = piece end return out end
local sp = split("x.y..z", ".")
print(#sp, sp[1], sp[3], sp[4])
print(("CamelCaseString"):gsub("(%u)", " %1"))
print(("  lots   of   space  "):gsub("%s+", " "))
