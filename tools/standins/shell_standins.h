// Stand-ins for the pieces the player's shell calls before they are built:
// the boot sequence. Each file shell_standin_<piece>.cpp holds one piece
// and goes when the real piece lands.
#pragma once
#include <cstdint>

struct vull_bitmap;

// Boot sequence and head cart: runs data.pod's head cart at once; a cart named on
// the command line is loaded and, with -run or without a head cart, run.
void boot_init();
void move_boot();
