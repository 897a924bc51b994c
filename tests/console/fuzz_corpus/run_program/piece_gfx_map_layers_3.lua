fset(1,0,true)
fset(2,1,true)
fset(3,0x3)
for i=0,15 do
 for j=0,15 do
  mset(i,j,(i+j)%4)
 end
end
