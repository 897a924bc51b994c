-- binary trees of depth 10, built and walked repeatedly
local rounds = 4000
local function make(d) if d == 0 then return {} end return {make(d - 1), make(d - 1)} end
local function check(t) if t[1] then return 1 + check(t[1]) + check(t[2]) end return 1 end
local sum = 0
for _ = 1, rounds do sum = (sum + check(make(10))) % 10007 end
print(sum)
