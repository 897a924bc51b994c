// The table of cart/hooks.h. Until zibo6_attach_console() and
// zibo6_attach_shell() fill it, each entry names the table and the attach call
// it waits for and ends the program, rather than calling through a null pointer.
#include "cart/hooks.h"

#include "engine/vull.h"

static constexpr char table[] = "cart_hooks";
static constexpr char console[] = "zibo6_attach_console()";
static constexpr char shell[] = "zibo6_attach_shell()";

#define UNTIL(attach, entry) .entry = vull_unattached<decltype(zibo6_cart_hooks::entry)>::call<table, attach>

zibo6_cart_hooks cart_hooks = {
    UNTIL(console, zibo6_peek),
    UNTIL(console, zibo6_poke),
    UNTIL(console, zibo6_peek_rom),
    UNTIL(console, zibo6_poke_rom),
    UNTIL(console, zibo_print),
    UNTIL(console, zibo_print_2),
    UNTIL(console, zibo_print_col),
    UNTIL(console, zibo6_convert_bitmap),
    UNTIL(console, zibo6_flatten_includes),
    UNTIL(console, is_sandboxed_cart_file),
    UNTIL(console, merge_code_from_tabs),
    UNTIL(console, split_code_to_tabs),
    UNTIL(console, serial_set_dropped_file),
    UNTIL(console, serial_set_dropped_image_file),
    UNTIL(console, vull_stop_sfx),
    UNTIL(console, vull_stop_zibo6_song),
    UNTIL(shell, show_message),
    UNTIL(shell, draw_extpal_glitch_if_running),
};
