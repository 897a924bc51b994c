function f(...)
  local t = {...}
  for i, v in ipairs(t) do
    if v then goto skip end
    print(i)
    ::skip::
  end
  return #t
end
