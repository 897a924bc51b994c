// What remains of the editors: backup buffers and clipboards of the sprite,
// map and sound editors, undo snapshots, the sheet/map shared-half copies and
// the hooks the runtime still calls (they do nothing in the player).
#pragma once
#include <cstdint>

#include "engine/mem.h" // cbuffer

struct zibo6_cart;
struct zibo6_sfx;
struct vull_bitmap;
struct vull_undo_stack;

constexpr int ZIBO6_UNDO_SPRITES = 1; // the cart's undo stack of the sprite sheet

// A one-step backup of an edited bitmap.
struct zibo6_dbmp {
    vull_bitmap *work;   // the editor's own work bitmap
    vull_bitmap *backup; // the backup picture
    vull_bitmap *second; // the work bitmap as it was at the backup
    int32_t sprite_flags[256]; // the working cart's sprite flags (sprite-sheet record only)
};

// A copy of a cart's sound data: 64 sfx, 64 patterns and their flags.
struct zibo6_audio_buffer {
    zibo6_cart *data;  // only sfx, music and pattern_flags are used
    int32_t sfx_count; // sfx held (clipboards)
    int32_t pattern_count;
    int32_t first; // source range of the last copy
    int32_t last;
};

// Editor state the snapshots carry; the editors themselves are not part of the player.
struct zibo6_editor_state {
    zibo6_dbmp *gfx_backup;         // the sprite sheet's backup record (made on first need)
    vull_bitmap *map_edit;          // the map editor's own bitmap (null: none)
    vull_bitmap *note_clipboard;    // 6 x 32 note fields, 255 empty (made on first copy)
    int32_t sfx_words[10];          // the sound editor's state
    int32_t view;                   // the console view
    int32_t view_words[2];          // further view state
    int32_t map_words[4];           // the map editor's state
    int32_t sprite_words[8];        // the sprite editor's state
    int32_t move_marked;            // 1 while an sfx range is marked to move
    int32_t move_first, move_last;  // that range
};
extern zibo6_editor_state zedit;

// Hooks that do nothing in the player (the window title is the shell's).
void move_keyboard_cursor();
void draw_code_tab_preview();
void invalidate_capacity_cache();
void set_code_tab(int tab);
void calculate_dormant_tokens();
void invalidate_ctext_colors();
void flush_activity_log_buffer();
void log_activity();
int load_splash_bmp(); // 0: no splash image

// The shared half: map rows 32-63 and sprite rows 64-127, one map byte per two pixels.
void sync_shared_gfx_to_map(zibo6_cart *cart);
void sync_shared_map_to_gfx(zibo6_cart *cart);
// Undo snapshot of the working cart's sheet, then the sheet into the graphics backup.
void backup_gfx();

// Backup records and clipboards.
zibo6_dbmp *create_dbmp(int width, int height);
void destroy_dbmp(zibo6_dbmp *record);
void backup_bmp(vull_bitmap *bmp, zibo6_dbmp *record);
void restore_bmp(vull_bitmap *bmp, zibo6_dbmp *record);
zibo6_audio_buffer *create_audio_buffer();
void destroy_audio_buffer(zibo6_audio_buffer *buffer);
void backup_audio(const zibo6_cart *cart, zibo6_audio_buffer *buffer);
void backup_sfx();
void restore_sfx(zibo6_sfx *sfx, zibo6_audio_buffer *buffer, int index);
void restore_audio(zibo6_cart *cart, zibo6_audio_buffer *buffer);
// selection: a 6 x 32 bitmap, nonzero cells copied (null: every cell).
void do_copy_sfx(const zibo6_sfx *sfx, const vull_bitmap *selection);
void do_paste_sfx(zibo6_sfx *sfx, int at);
void do_copy_sfxes(const zibo6_cart *cart, zibo6_audio_buffer *buffer, int first, int last,
                   int mark);
void do_paste_sfxes(zibo6_audio_buffer *buffer, zibo6_cart *cart, int at);
void do_copy_patterns(zibo6_cart *cart, zibo6_audio_buffer *buffer, int first, int last, int cut);
void do_paste_patterns(zibo6_audio_buffer *buffer, zibo6_cart *cart, int at);
// Corners of a selection (x0, y0)-(x1, y1) in order.
void get_selected_area(int x0, int y0, int x1, int y1, int *left, int *top, int *right,
                       int *bottom);
int selection_active(const vull_bitmap *bmp);

// Undo snapshots.
cbuffer *create_undo_sfx64_state(const zibo6_cart *cart);
int restore_undo_sfx64_state(cbuffer *buffer, zibo6_cart *cart);
cbuffer *create_undo_bmp_state(const vull_bitmap *bmp, int value);
int restore_undo_bmp_state(cbuffer *buffer, vull_bitmap *bmp, vull_undo_stack *stack);
