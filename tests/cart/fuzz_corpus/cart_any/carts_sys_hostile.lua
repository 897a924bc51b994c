local big = "w"
for i = 1, 17 do big = big..big end
big = sub(big, 1, 100000)
local ends = {run=1, stop=1, load=1, __load=1, reboot=1, shutdown=1, exit=1,
 __stop=1, flip=1, __flip=1, __superyield=1, yield=1, holdframe=1, _startframe=1,
 keyconfig=1, folder=1, extcmd=1, __extcmd=1, menuitem=1}
local args = {{}, {nil}, {0x7fff.ffff, 0x7fff.ffff, 0x7fff.ffff}, {-0x8000, -1, -1},
 {"x", "y", "z"}, {big, big, big}, {{}, {}, {}}}
local called = 0
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
-- pause and controls open the pause menu, which holds the cart: not called here
for c in all({"label", "screen", "rec", "video", "set_title",
 "set_filename", "no_such", big, 1}) do
 for a in all(args) do coresume(cocreate(function() extcmd(c, a[1], a[2]) end)) end
end
printh("survived "..tostr(called > 100))
