// Stand-ins for the services that running a cart calls in pieces not built
// yet: video frames, cart data, the cart hash, embedded carts, the
// config command and the pause menu.  Each does the least a run needs; each
// goes when its real piece lands.
#pragma once
#include <cstddef>


// sound, serial, cart data, hashes, menus, messages
void z6_standin_clear_extpal_glitch();
void z6_standin_update_paused_menu();
void z6_standin_run_config(const char *text);
void z6_standin_show_message(const char *text, int ms);

// cart files: 0 when loaded as the working cart
int z6_standin_load_embedded_cart(const char *name); // no data file carts: always fails
