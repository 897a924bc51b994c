-- sieve of Eratosthenes up to 32767, repeated
local rounds = 400
local N = 32767
local function sieve()
  local comp = {}
  local count = 0
  local i = 2
  while true do
    if not comp[i] then
      count = count + 1
      if i <= 181 then
        local j = i * i
        while true do
          comp[j] = true
          if j > N - i then break end
          j = j + i
        end
      end
    end
    if i == N then break end
    i = i + 1
  end
  return count
end
local c = 0
for _ = 1, rounds do c = (c + sieve()) % 10007 end
print(c)
