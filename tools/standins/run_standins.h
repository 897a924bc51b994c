// Stand-ins for the services that running a cart calls in pieces not built
// yet: video frames and embedded carts.  Each does the least a run needs; each
// goes when its real piece lands.
#pragma once
#include <cstddef>

// video frames
void z6_standin_record_video_frame(); // one GIF frame per flip

// cart files
int z6_standin_load_embedded_cart(const char *name); // no data file carts: always fails
