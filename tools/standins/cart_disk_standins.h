// Stand-ins for the working-cart file operations behind reload() and cstore()
// and for the PNG cart writer, until the cart file operations and the PNG
// cart exist. Text carts only: a ".png" target fails as unwritable, a file
// that is no text cart does not load. Remove when the real pieces land.
#pragma once

struct zibo6_cart;

// ROM bytes src.. of the cart file at path into console memory at dest..;
// 0, or 1 when no cart could be read.
int reload_cart_partial(const char *path, int dest, int src, int len);
// Console memory src.. into the cart file at path at dest.. (and the working
// cart with also_working; change-mask bits in sandbox mode); 0, 2 when saving
// failed, 3 when 256 distinct targets were already written this run.
int cstore_cart_partial(const char *path, int dest, int src, int len, int also_working,
                        int sandbox);
// Carts mounted from the data file: none yet.
const char *get_embedded_cart_hash_for_filename(const char *name, int try_variants);
// Per-user "cstore/__<hash>.z6" (a buffer reused by each call).
const char *get_sandboxed_cstore_filename(const char *hash);
// The PNG cart writer: always 1 (cannot write).
int z6_standin_save_png_cart(zibo6_cart *cart, const char *path);
