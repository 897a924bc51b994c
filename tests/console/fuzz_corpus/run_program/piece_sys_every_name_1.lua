for name, f in pairs(_ENV) do
 if type(f) == "function" and not ends[name] then
  local a, b, c = ordinary[1], ordinary[2], ordinary[3]
  if special[name] then a, b, c = special[name]() end
  local co = cocreate(function() f(a, b, c) end)
  local ok, err = coresume(co)
  if not ok then printh("error in "..name..": "..tostr(err)) end
  called += 1
 end
end
