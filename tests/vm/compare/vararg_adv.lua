-- varargs passing, nils and table.pack/unpack
local function count(...) return select("#", ...) end
print(count(nil), count(nil, nil, nil), count(table.unpack({1, nil, 3}, 1, 3)))
local function pass(...) return ... end
print(pass(1, nil, 3))
print(count(pass()))
local function sum(...) local s = 0 for i = 1, select("#", ...) do s = s + (select(i, ...) or 0) end return s end
print(sum(1, 2, nil, 4))
local function first(a) return a end
print(first(pass(9, 8, 7)))
local packed = table.pack(pass(1, 2, nil))
print(packed.n, packed[1], packed[3])
local function vcat(...) return table.concat({...}, ",") end
print(vcat("a", "b", "c"), vcat())
local function opt(a, b, ...) return a, b, select("#", ...) end
print(opt(1))
print(opt(1, 2, 3, 4, 5))
print(math.max(table.unpack({4, 9, 2})))
