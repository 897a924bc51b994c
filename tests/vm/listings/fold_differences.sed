# Expected difference: folded products and sums wrap modulo 2^32 in 16.16
# (integer part modulo 65536) where the stock compiler keeps doubles.
s/\<40000\>/-25536/g
s/\<32768\>/-32768/g
s/-32769\>/32767/g
s/\<65536\>/0/g
