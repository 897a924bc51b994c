-- library functions
local function n(...) return select("#", ...) end
print(sub("hello", 2, 4), sub("hello", -3), sub("hello", 0), "[" .. sub("hello", 4, 2) .. "]", "[" .. sub("hello", 10) .. "]")
print(sub("hello", -10, 2), sub("hello", 1.5, 2.5), sub("hello", -1.5), sub(123.5, 2), sub("hello", "2"), sub("hello", 2, nil))
print(sub("hello", 2, 32767), sub("hello", -32768, -4), "[" .. sub("", 1) .. "]", sub("a\0b", 2, 3) == "\0b")
print(select("#"), select("#", nil, nil), select(-1, "a", "b"), n(select(5, "a", "b")))
print(select(2, "a", "b", "c"))
print(select(1.5, "a", "b"))
print(select(-1.5, "a", "b", "c"))
print(select("#", select(-2, "a", "b", "c")), select(2.9, "x", "y", "z"))
print(assert(1, 2, 3))
print(n(assert(true)), assert("v", nil))
print(tostring(nil), tostring(true), tostring(false), tostring(1.5), tostring("s"), tostring(-0.25))
print(sub(tostring({}), 1, 7), sub(tostring(print), 1, 10), sub(tostring(cocreate(print)), 1, 8))
print(type(1), type(""), type({}), type(print), type(nil), type(true), type(cocreate(print)), type(type))
local t = {10, 20, 30, nil, 50}
local s = ""
for i, v in ipairs(t) do s = s .. i .. "=" .. v .. " " end
print("ipairs: " .. s)
s = 0
local keys = 0
for k, v in pairs({10, 20, 30, x = 1, y = 2}) do keys = keys + 1 s = s + v end
print("pairs:", keys, s)
print(next({}), next({7}), n(next({7}, 1)))
print(rawlen({1, 2, 3}), rawlen("abcd"), rawequal(t, t), rawequal(t, {}), rawequal(1, 1))
local mt = {__index = function(t, k) return k * 2 end}
local proxy = setmetatable({}, mt)
print(proxy[21], rawget(proxy, 21), getmetatable(proxy) == mt, rawset(proxy, 1, "one") == proxy, proxy[1])
print(getmetatable("s"), getmetatable(setmetatable({}, {__metatable = "locked"})))
-- tracebacks (the chunk is named after its first line)
local function f()
  local tb = trace("msg")
  return tb
end
print(f())
print(sub(trace(), 1, 17) == "stack traceback:\n", trace(t) == t, trace(nil, 1) == trace(nil, 1))
local function resume(co, ...)
  local r = pack(coresume(co, ...))
  while r[1] and r.n == 1 and costatus(co) == "suspended" do r = pack(coresume(co)) end
  return unpack(r, 1, r.n)
end
local co = cocreate(function(x)
  yield(x)
end)
resume(co, 1)
print(trace(co))
print(trace(co, "skip", 1))
print(trace(co, 5, 1))
local function deep(k) if k == 0 then return trace() end local r = deep(k - 1) return r end
print(deep(30))
local function g() local s = trace() return s end
local function tc() return g() end
print(tc())
