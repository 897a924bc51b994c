// Stand-ins for the services that running a cart calls in pieces not built
// yet: embedded carts.  Each does the least a run needs; each
// goes when its real piece lands.
#pragma once
#include <cstddef>


// cart files
int z6_standin_load_embedded_cart(const char *name); // no data file carts: always fails
