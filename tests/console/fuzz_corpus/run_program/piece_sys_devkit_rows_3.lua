-- continue, one, two, options, reset cart, quit and (run with -x) shutdown
menuitem(1, 'one') menuitem(2, 'two')
show(stat(12), stat(13), stat(14), stat(15))
