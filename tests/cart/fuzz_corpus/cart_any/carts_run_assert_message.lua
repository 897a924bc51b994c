assert(true, "not shown")
function check(v)
 assert(v < 3, "too big: "..v)
end
check(1)
check(5)
