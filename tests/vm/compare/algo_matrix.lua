-- small integer matrices
local function mat(n, f) local m = {} for i = 1, n do m[i] = {} for j = 1, n do m[i][j] = f(i, j) end end return m end
local function mul(a, b) local n = #a return mat(n, function(i, j) local s = 0 for k = 1, n do s = s + a[i][k] * b[k][j] end return s end) end
local a = mat(4, function(i, j) return i + j end)
local b = mat(4, function(i, j) return (i == j) and 2 or 0 end)
local c = mul(a, b)
for i = 1, 4 do print(table.concat(c[i], " ")) end
local id = mat(3, function(i, j) return i == j and 1 or 0 end)
local m = mat(3, function(i, j) return i * 3 + j end)
local r = mul(m, id)
print(r[1][1], r[2][3], r[3][2])
