// Keyboard state with the typed-key queue, the mouse cursor, and the store of
// rectangular GUI elements with its once-a-frame hit-test pass.
#pragma once
#include <cstdint>

struct vull_bitmap;
struct cpod;

// ---- keyboard ----------------------------------------------------------
constexpr int VULL_NUM_KEYS = 512;
constexpr int VULL_KEY_BUFFER = 32;

extern uint8_t vullkey[VULL_NUM_KEYS];       // 0 up, 1 held, 3 pressed this frame (or repeat tick)
extern uint8_t last_vullkey[VULL_NUM_KEYS];  // the previous frame's states
extern uint8_t block_vullkey[VULL_NUM_KEYS]; // 1: reads as up until released
extern int32_t vullkey_buffer[VULL_KEY_BUFFER]; // typed-key queue, oldest first
extern int vullkey_buffer_pos;                  // entries in the queue

// Pseudo-codes for vull_get_key_state.
constexpr int VULL_KEY_SHIFT = -6; // either Shift
constexpr int VULL_KEY_CTRL = -5;  // either Ctrl or either GUI key
constexpr int VULL_KEY_ALT = -4;   // either Alt
constexpr int VULL_KEY_GUI = -3;   // either GUI key (entries 500, 501)
constexpr int VULL_KEY_EXTRA = -2; // entries 502, 503 (nothing sets them)

void vull_keys_init();
void vull_keys_exit();
int vull_get_key_state(int code);
int vull_get_any_key_down();
int vull_keypressed();
int vull_readkey(); // 0 when no key can come: quitting, or headless

// ---- mouse cursor ------------------------------------------------------
extern vull_bitmap *vull_mouse_bmp;                // the engine's own 33 x 33 cursor
extern vull_bitmap *vull_current_mouse_bmp;        // the cursor in use (null: none)
extern int vull_mouse_focus_x, vull_mouse_focus_y; // hot spot
extern int mouse_visible;

void vull_mouse_init();
void vull_mouse_exit(); // releases the engine cursor (video exit calls it)
vull_bitmap *vull_create_mouse_bmp();
void vull_set_mouse_bmp(vull_bitmap *bmp);
void vull_set_mouse_focus(int x, int y);
void vull_hide_mouse();
void vull_show_mouse();
void vull_draw_mouse_cursor(vull_bitmap *target);

// ---- GUI elements ------------------------------------------------------
constexpr int VULL_GUI_ELEMENTS = 1024;

// Element flags.
constexpr uint32_t VULL_GUIF_HOVER = 1u << 0;
constexpr uint32_t VULL_GUIF_PRESSED = 1u << 1;
constexpr uint32_t VULL_GUIF_FOCUS = 1u << 4;
constexpr uint32_t VULL_GUIF_ELEVATED = 1u << 5;

// Messages sent to handlers.
enum : int {
    VULL_GUIM_ENTER = 1,
    VULL_GUIM_LEAVE = 2,
    VULL_GUIM_OVER = 3,
    VULL_GUIM_PRESS = 4,
    VULL_GUIM_DRAG = 5,
    VULL_GUIM_RELEASE = 6,
    VULL_GUIM_KEY = 9,
    VULL_GUIM_DOUBLE_CLICK = 11,
    VULL_GUIM_CLICK = 12,
    VULL_GUIM_DOUBLE_RELEASE = 15,
    VULL_GUIM_WHEEL = 16,
    VULL_GUIM_DROP = 17,
    VULL_GUIM_DOUBLE_PRESS = 18,
};

struct vull_gui_element;
typedef int (*vull_gui_handler)(vull_gui_element *e, int x, int y, int buttons, int message);

struct vull_gui_element {
    uint32_t type;               // 7 always takes keys; 4 takes them when focused
    int32_t x, y, width, height; // covers x <= mx < x + width, y <= my < y + height
    uint32_t flags;              // VULL_GUIF_*
    vull_bitmap *target;         // its width sets the double-click radius (null: radius 0)
    vull_gui_handler handler;
    uint8_t user[192]; // zeroed at creation; the owner's
};

extern cpod *vull_gui; // pea pod of VULL_GUI_ELEMENTS element records

void vull_gui_init();
void vull_gui_exit();
int vull_add_guie(vull_bitmap *target, int x, int y, int width, int height, uint32_t type,
                  vull_gui_handler handler); // slot, or -1 when all are taken
void vull_delete_guie(int slot);
void vull_process_gui();
void vull_gui_broadcast(int message, uint32_t type);
void vull_gui_message(int slot, int message);
void vull_gui_message_ex(int slot, int message, int x, int y, int buttons);
void vull_gui_key_event(int key);
void vull_gui_set_keyboard_focus(vull_gui_element *e);
vull_gui_element *vull_gui_get_keyboard_focus();
void vull_gui_elevate_element(vull_gui_element *e);
void vull_gui_clear();
vull_gui_element *vull_get_gui_element(int slot);
int vull_gui_num_elements();
int vull_gui_cursor_element();
