-- particle update, as a cart runs it each frame: 500 particles as tables of
-- fixed-point fields, moved, pulled down, bounced off the walls and the
-- floor with damping, and respawned when their life runs out. Every value
-- stays a multiple of 1/512 well inside +-32767, so 16.16 and doubles agree.
local rounds = 12000
local floor = math.floor
local seed = 1
local function rnd(n) -- 0 .. n-1 from a small generator (products stay below 32768)
  seed = (seed * 13 + 7) % 2503
  return seed % n
end
local function spawn(p)
  p.x = 64 + rnd(16) / 4
  p.y = 100 + rnd(8) / 8
  p.dx = (rnd(65) - 32) / 32
  p.dy = -(rnd(33) + 16) / 16
  p.life = 20 + rnd(60)
  return p
end
local parts = {}
for i = 1, 500 do parts[i] = spawn({}) end
local sum = 0
for _ = 1, rounds do
  for _, p in ipairs(parts) do
    p.x = p.x + p.dx * 0.5
    p.y = p.y + p.dy * 0.5
    p.dy = p.dy + 0.0625
    if p.x < 0 or p.x > 127 then
      p.dx = -p.dx
      p.x = p.x < 0 and 0 or 127
    end
    if p.y > 127 then
      p.y = 127
      p.dy = floor(p.dy * -192) / 256 -- three quarters back up, on the 1/256 grid
    end
    p.life = p.life - 1
    if p.life <= 0 then spawn(p) end
  end
  local s = 0
  for i = 1, #parts do
    local p = parts[i]
    s = (s + floor(p.x) + floor(p.y)) % 10007
  end
  sum = (sum + s) % 10007
end
print(sum)
