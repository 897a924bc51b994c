// What the engine needs from the layers above it, and nothing else: the
// application's frame callbacks, the audio engine's loop steps and sound and
// synth items, the application's config.txt lines and pod items, and the cart
// layer's lazily mounted carts. Each entry says who fills it and what the
// engine does while it is empty. The tables' objects live in engine/hooks.cpp.
#pragma once
#include <cstdint>

struct cpod;
struct csound;
struct vull_file;
struct vull_synth;

// ---- the application ----
// The player's vull_main_init, vull_main_update, vull_main_draw and
// vull_main_exit, handed over by its main with vull_set_app_funcs (tools and
// tests that run the frame loop hand their own). vull_main refuses to run
// without an init, naming vull_set_app_funcs; the others are skipped when empty.
struct vull_app_funcs {
    void (*init)(int argc, char **argv); // must call vull_init
    void (*update)();
    void (*draw)();
    void (*exit)();
};
extern vull_app_funcs vull_app;
void vull_set_app_funcs(const vull_app_funcs &funcs);

// ---- the audio engine ----
// Its steps in the loop and the exit sequence, filled by vull_sound_attach();
// each one empty is skipped (a program without sound).
struct vull_audio_funcs {
    void (*stop_music)();          // at once, before the application's exit callback
    void (*update_music_fading)(); // once a pass
    void (*sound_exit)();
};
extern vull_audio_funcs vull_audio;
void vull_set_audio_funcs(const vull_audio_funcs &funcs);

// The records of sound and synth items (engine/sound_item.h) are the audio
// engine's to make and free; vull_sound_attach() fills this table. Empty, the
// POD reader fails a pod holding a sound or synth item, wherever it stands, and
// says that vull_sound_attach() was not called; the writer fails likewise on a
// sound item.
struct cpod_audio_items {
    csound *(*create_sound)(int sample_count, int bits);
    void (*destroy_sound)(csound *sound);
    void *(*sound_lock)(csound *sound);
    void (*sound_release)(csound *sound);
    void (*set_frequency)(csound *sound, int frequency);
    vull_synth *(*create_synth)(int n);
    void (*destroy_synth)(vull_synth *synth);
};
extern cpod_audio_items cpod_audio;
void cpod_set_audio_items(const cpod_audio_items &items);

// ---- config.txt lines of the application ----
// The player's initialiser installs the shell's config reader and writer.
using vull_load_config_fn = void (*)(const char *line);
using vull_save_config_fn = void (*)(vull_file *file);
// Gets each config.txt line the engine does not know; empty: such lines are passed over.
extern vull_load_config_fn vull_load_config_func;
// Appends the application's section to config.txt; empty: the engine's sections alone.
extern vull_save_config_fn vull_save_config_func;
void vull_set_load_config_func(vull_load_config_fn fn);
void vull_set_save_config_func(vull_save_config_fn fn);

// ---- pod items of the application (types 100 and up) ----
// Nothing in this program installs them.
using vull_destroy_item_fn = void (*)(void *item, int type);
// Reads the body of a chunk the POD reader does not know (id: its four bytes, little-endian);
// returns 0 when it has read it and added what it made to the container.
using vull_load_item_fn = int (*)(vull_file *f, cpod *pod, uint32_t id);
// Writes a complete chunk for an item of type above 99.
using vull_save_item_fn = int (*)(vull_file *f, cpod *pod, int slot);
// Destroys an application item; empty: the item is dropped from its container undestroyed.
extern vull_destroy_item_fn vull_destroy_item_func;
// Reads an unknown chunk; empty (or refusing): the chunk is logged and skipped by its size.
extern vull_load_item_fn vull_load_item_func;
// Writes an application item; empty: nothing is written for it.
extern vull_save_item_fn vull_save_item_func;
void vull_set_destroy_item_func(vull_destroy_item_fn fn);
void vull_set_load_item_func(vull_load_item_fn fn);
void vull_set_save_item_func(vull_save_item_fn fn);

// ---- carts mounted on first read ----
// Asked when a read finds no virtual file of a key: it may write that file
// (through vull_fopen_vdisk) and return 1, and the read looks again. The cart
// layer sets it as it records a cart to mount when first read
// (mount_embedded_cart_lazily); empty: the read finds nothing.
extern int (*vull_vdisk_miss_hook)(const char *key);
