// What the cart formats need from the layers above them, and nothing else: the
// console runtime's memory, terminal, display conversion, preprocessor, code
// tabs and serial channel, the audio engine's stops (handed on by the console),
// and the shell's status message and glitch. zibo6_attach_console() and
// zibo6_attach_shell() fill every entry; cart/ never names them. The table has
// no working defaults: until attached, an entry says on standard error which
// attach call it waits for and ends the program with status 1, so every
// program that reads or writes carts attaches the shell (z6cart, z6sfx,
// mkdatapod, the cart tests). Its object lives in cart/hooks.cpp.
#pragma once
#include <cstdint>
#include <string>

struct console_state;
struct vull_bitmap;
struct vull_file;
struct vull_rgb;
struct zibo6_cart;
struct zibo6_sfx;

struct zibo6_cart_hooks {
    // ---- filled by zibo6_attach_console() ----
    int (*zibo6_peek)(console_state *ram, zibo6_cart *cart, int address);
    void (*zibo6_poke)(console_state *ram, zibo6_cart *cart, int address, int value);
    // The whole ROM data (0x4300 bytes) as zibo6_peek and zibo6_poke without ram see it.
    void (*zibo6_peek_rom)(zibo6_cart *cart, uint8_t *image);
    void (*zibo6_poke_rom)(zibo6_cart *cart, const uint8_t *image);
    void (*zibo_print)(const char *text);
    void (*zibo_print_2)(const char *format, int a, int b);
    void (*zibo_print_col)(const char *text, int colour);
    void (*zibo6_convert_bitmap)(const vull_bitmap *src, vull_bitmap *dst, const vull_rgb *colours);
    int (*zibo6_flatten_includes)(const char *source, std::string &out);
    int (*is_sandboxed_cart_file)(const char *name);
    void (*merge_code_from_tabs)();
    void (*split_code_to_tabs)();
    void (*serial_set_dropped_file)(vull_file *file);
    void (*serial_set_dropped_image_file)(vull_bitmap *bitmap);
    void (*vull_stop_sfx)(zibo6_sfx *sfx);
    void (*vull_stop_zibo6_song)(zibo6_cart *bank);
    // ---- filled by zibo6_attach_shell() ----
    void (*show_message)(const char *text, int ms);
    void (*draw_extpal_glitch_if_running)(vull_bitmap *picture);
};
extern zibo6_cart_hooks cart_hooks;
