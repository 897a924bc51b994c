-- a headless demo: prints a few lines and stops
for i=1,3 do
 printh("zibo-6 demo line "..i)
end
printh("done")
