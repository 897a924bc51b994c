-- a small program in ordinary style: classes, closures, string building
local Account = {}
Account.__index = Account

function Account.new(owner, balance)
  local self = setmetatable({}, Account)
  self.owner = owner
  self.balance = balance or 0
  self.log = {}
  return self
end

function Account:deposit(v)
  if v <= 0 then error("bad amount") end
  self.balance = self.balance + v
  self.log[#self.log + 1] = "deposit " .. v
end

function Account:withdraw(v)
  if v > self.balance then
    return false, "insufficient funds"
  end
  self.balance = self.balance - v
  self.log[#self.log + 1] = "withdraw " .. v
  return true
end

local function report(acc)
  local parts = {}
  for idx, entry in ipairs(acc.log) do
    parts[#parts + 1] = idx .. ": " .. entry
  end
  return acc.owner .. " has " .. acc.balance .. "\n" .. table.concat(parts, "\n")
end

local accounts = {}
for k = 1, 3 do
  local acc = Account.new("user" .. k, k * 10)
  acc:deposit(k)
  local ok, err = acc:withdraw(k * 100)
  if not ok then acc.log[#acc.log + 1] = err end
  accounts[k] = acc
end

local function each(t)
  local idx = 0
  return function()
    idx = idx + 1
    if t[idx] then return idx, t[idx] end
  end
end

for _, acc in each(accounts) do
  print(report(acc))
end
