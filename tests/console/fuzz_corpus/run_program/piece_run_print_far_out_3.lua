printh("lit "..lit)
s=nil
