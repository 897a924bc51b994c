function _update()
 ord("a", 1, 9000)
end
