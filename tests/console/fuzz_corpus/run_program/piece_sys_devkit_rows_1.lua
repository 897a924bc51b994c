function show(...)
 local s = ''
 for v in all({...}) do s = s..tostr(v)..' ' end
 printh(s)
end
