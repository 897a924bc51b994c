-- string building with .. and sub, as a cart builds its status and message
-- lines: words, numbers and pieces cut from other strings joined one by one
local rounds = 75
local sub = string.sub
local words = {"score", "lives", "level", "bonus", "time", "hi"}
local total = 0
for _ = 1, rounds do
  for round = 1, 1000 do
    local line = ""
    for i = 1, 40 do
      local w = words[i % 6 + 1]
      line = line .. sub(w, 1, 1 + i % 4) .. ":" .. i .. " "
    end
    local out = ""
    for i = 1, #line, 5 do out = out .. sub(line, i, i + 2) end
    local msg = "round " .. round .. " " .. sub(out, -12) .. "!"
    total = (total + #line + #out + #msg) % 10007
  end
end
print(total)
