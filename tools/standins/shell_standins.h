// Stand-ins for the pieces the player's shell calls before they are built:
// the cart browser and board downloads. Each file shell_standin_<piece>.cpp holds one piece
// and goes when the real piece lands.
#pragma once
#include <cstdint>

struct vull_bitmap;

// Cart browser, board downloads.
void browse_update();
void update_browse_download();
