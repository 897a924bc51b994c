// The pause menu: continue, the cart's own items, options (sound, full
// screen, the controls page), reset, back along the run chain, and quit.
#pragma once
#include <cstdint>

struct vull_bitmap;

constexpr int PAUSE_MENU_ITEMS = 16;
constexpr int PAUSE_LABEL_MAX = 16; // characters shown of a label

// Menu states (app.paused_menu_state).
enum pause_menu_state {
    PAUSE_CLOSED = 0,
    PAUSE_MAIN = 1,
    PAUSE_KEYCONFIG = 2,
    PAUSE_CONTROLS = 3,
    PAUSE_OPTIONS = 4,
};

// Action codes of the items; 257-261 are the cart's items 1-5.
enum pause_action {
    PAUSE_CONTINUE = 0,
    PAUSE_RESET_CART = 1,
    PAUSE_FAVOURITE = 2,
    PAUSE_SUSPEND = 3,
    PAUSE_STOP = 4,
    PAUSE_RUN_CHAIN = 5,
    PAUSE_QUIT = 6,
    PAUSE_UPDATE_CART = 7,
    PAUSE_OPTIONS_PAGE = 8,
    PAUSE_SOUND = 9,
    PAUSE_FULLSCREEN = 10,
    PAUSE_BACK = 11,
    PAUSE_KEY_CONFIG = 12,
    PAUSE_CONTROLS_PAGE = 13,
    PAUSE_CART_ITEM = 257,
};

struct paused_menu_entry {
    char label[64]; // at most PAUSE_LABEL_MAX characters, zero-filled
    int32_t code;   // pause_action
};
extern paused_menu_entry paused_menu_item[PAUSE_MENU_ITEMS];

void build_paused_menu();                               // the items of the current page
void add_paused_menu_item(const char *label, int code); // appends one item
void update_paused_menu();         // opens the menu on the pause button (each running frame)
void process_paused_keypresses();  // the menu's input (each pause frame)
void paused_menu_action(int code); // runs one item's action
void draw_paused_menu(vull_bitmap *page);
void close_paused_menu(); // typed keys meant for the menu never reach the cart
void update_emergency_paused_menu();
// Sound off, or back on at the chosen volume (256 when none was chosen).
void toggle_sound_volume();
