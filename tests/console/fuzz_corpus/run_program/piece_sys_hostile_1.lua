for name, f in pairs(_ENV) do
 -- the main-loop hooks (_set_fps and the rest) are the prelude's, not a cart's
 local hook = sub(name, 1, 1) == "_" and sub(name, 2, 2) ~= "_"
 if type(f) == "function" and not ends[name] and not hook then
  for a in all(args) do
   -- a 100,000-character split builds 100,000 strings: slow, not hostile
   if name ~= "split" or a[1] ~= big then
    coresume(cocreate(function() f(a[1], a[2], a[3]) end))
   end
  end
  called += 1
 end
end
