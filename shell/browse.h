// Cart browser lists: the local folder, the favourites and the board's lists,
// favourites.txt, the board's cache file names and the item labels.
#pragma once
#include <cstddef>
#include <cstdint>

struct vull_bitmap;

constexpr int BROWSE_TEXT_LEN = 128;   // every text field of an item (127 + NUL)
constexpr int BROWSE_LISTS = 8;        // lists in use
constexpr int BROWSE_LINE_LEN = 512;   // favourites.txt lines read (511 + NUL)
constexpr int64_t FAVOURITES_FILE_MAX = 1 << 20; // bytes of favourites.txt read
constexpr int BROWSE_TITLE_LEN = 1024; // list titles and requests

enum browse_kind : int32_t {
    BROWSE_CART = 1,
    BROWSE_FOLDER = 2,
    BROWSE_UPDATE = 3,
    BROWSE_LOAD_MORE = 5,
    BROWSE_SEARCH = 6,
};

enum browse_list_index : int {
    LIST_LOCAL = 0,
    LIST_FAV = 1,
    LIST_NEW = 2,
    LIST_TOP = 3,
    LIST_WIP = 4,
    LIST_JAM = 5,
    LIST_LUCKY = 6,
    LIST_SEARCH = 7,
};

struct browse_item {
    int32_t icon;                 // sprite number of the item's icon (resource pod)
    char title[BROWSE_TEXT_LEN];  // shown name
    char author[BROWSE_TEXT_LEN]; // board author name
    char text[BROWSE_TEXT_LEN];   // local file (folder + name), or favourites' third text
    char lid[BROWSE_TEXT_LEN];    // board cart id (may end in "-" and a version)
    char mid[BROWSE_TEXT_LEN];    // board thread id
    int32_t catsub;               // board sub-category
    vull_bitmap *label;           // 128x128 8-bit label, owned by the item; null: none
    int32_t listed;               // 1 when among the favourites
    int32_t kind;                 // browse_kind
    int32_t pal_set;              // display palette below filled in
    uint8_t pal[16];              // display palette of the label (extract_label_palette)
};

struct browse_list {
    char title[BROWSE_TITLE_LEN];   // shown title
    char request[BROWSE_TITLE_LEN]; // board listing query; empty for none
    char name[32];                  // short name: cache file names of the listing
    int32_t icon;                   // list icon
    browse_item *items;             // growable block of count items
    int32_t count;                  // items in use
    int32_t capacity;               // items allocated
    int32_t cursor;                 // selected item
};

// The browser's global record.
struct browse_state {
    browse_list list[BROWSE_LISTS]; // the lists, by browse_list_index
    int32_t current_list;           // list shown
    int32_t exit_menu;              // exit menu flag
    int32_t initialised;            // browse_init ran
    browse_item running_item;       // the board cart being run
};
extern browse_state browse;

void browse_init();
void browse_enter();
void browse_update();   // the browser screens have nothing to update in the player
void browse_shutdown(); // releases every list (labels and blocks)

void populate_browse_list_from_directory(browse_list *list, const char *folder);
int populate_browse_list_from_text_file(browse_list *list, const char *path); // 0 read, 1 none
int save_browse_list_to_file(browse_list *list, const char *path);            // 0 saved, 1 failed
int save_browse_favourites();
void reload_favourites();

browse_item *add_browse_item(browse_list *list, int at_front); // zeroed; null when out of memory
browse_item *get_browse_item(browse_list *list, int i);        // a zeroed dummy for a bad index
void clear_browse_list(browse_list *list);
int find_item_index(browse_list *list, const char *lid, const char *text); // -1 when none
int is_favourite(const char *lid, const char *text);
void update_list_favourites(browse_list *list);
int get_icon_for_item(const browse_item *item);

// Board cart ids and cache names. A lid is safe when it is made only of
// [A-Za-z0-9_-] (it reaches file names and URLs); unsafe lids give "" names.
bool browse_lid_is_safe(const char *lid);
void get_bbs_cart_filename(const char *lid, char *out, size_t out_size);
void get_bbs_nfo_filename(const char *lid, char *out, size_t out_size);
void get_bbs_temp_nfo_filename(const char *lid, char *out, size_t out_size);
void get_bbs_label_filename(const char *lid, char *out, size_t out_size);
void get_bbs_listing_filename(const char *list_name, int temp, int more, char *out,
                              size_t out_size);

vull_bitmap *create_label_from_any_cart(const char *path); // PNG region or the cart's label
vull_bitmap *create_label_from_cart_lid(const char *lid);
vull_bitmap *browse_copy_label(const vull_bitmap *label); // 8-bit copy; null for none
int save_bbs_cart_label(const browse_item *item); // 0 written or present
void extract_label_palette(browse_item *item);

void sanitise_title_string(char *s);
void sanitise_author_string(char *s);
void clean_zibo6_string(char *s);
void trim_trailing_space(char *s);
void sanitise_browse_item(browse_item *item);
void strip_lid_version(char *lid);
void get_title_from_filename(browse_item *item, const char *path);
int is_input_char(int c);
int compare_alphabetical(const browse_item *a, const browse_item *b); // <0, 0, >0
int32_t browse_read_int(const char *s); // decimal, saturating; 0 when none (board numbers)

void get_output_file_name_base(char *out, size_t out_size);

// ---- browser screens: the cart menu, the search line, the list and its draw ----
// Nothing in the player reaches them (its browser update and draw stay empty).

constexpr int CART_MENU_ITEMS = 16;
constexpr int CART_MENU_LABEL = 32; // label field (the longest is "carts by @" + 16)
constexpr int SEARCH_LINE_LEN = 24; // characters on the search line
constexpr int BROWSE_ROWS = 12;     // list rows on the screen
// The letter wheel: what a search line position can hold, in spin order.
constexpr const char BROWSE_WHEEL[] = " abcdefghijklmnopqrstuvwxyz0123456789";

enum cart_menu_code : int32_t {
    CART_MENU_RUN = 1,       // "run cart"
    CART_MENU_OPTIONS,       // "options": the second page
    CART_MENU_FAVOURITE,     // "favourite" / "remove from favourites"
    CART_MENU_CARTS_BY,      // "carts by @author": the search list
    CART_MENU_SIMILAR,       // "similar carts": the search list on the title
    CART_MENU_SEARCH_THREAD, // "search bbs thread": the search list on a local cart's title
    CART_MENU_OPEN_THREAD,   // "open thread in browser"
    CART_MENU_CLOSE,         // "[back]": closes the menu
    CART_MENU_EDIT,          // "edit cart": the working cart, then the console
    CART_MENU_REDOWNLOAD,    // "re-download"
    CART_MENU_OPEN_PAGE,     // "open in browser": the cart's board page
    CART_MENU_BACK,          // "back": the first page again
    CART_MENU_SOUND,         // "sound:on" / "sound:off"
    CART_MENU_FULLSCREEN,    // "fullscreen:off" / "fullscreen:on"
};

struct cart_menu_entry {
    char label[CART_MENU_LABEL]; // shown text
    int32_t code;                // cart_menu_code
};

// The screens' own record.
struct browse_screen_state {
    cart_menu_entry menu[CART_MENU_ITEMS]; // the cart menu's items
    int32_t menu_items;                    // items in use
    int32_t menu_selected;                 // selected item
    int32_t menu_page;                     // 0 closed, 1 the item's page, 2 options
    char search[SEARCH_LINE_LEN + 1];      // the search line: wheel characters, space-padded
    int32_t search_cursor;                 // position on the search line
    int32_t entering_text;                 // the search line takes the controls
    int32_t list_y[BROWSE_LISTS];          // first row shown of each list
    int32_t anim_frames;                   // frames since the last move (pointer blink)
    int32_t slide;                         // list title slide-in, pixels left to go
};
extern browse_screen_state browse_screen;

void generate_cart_menu(int page); // the current item's items for page 1 or 2
void cart_menu_pop();              // opens the cart menu on the current item
void cart_menu_action(int code);   // runs one cart_menu_code
void draw_cart_menu(vull_bitmap *page);

int browse_keypress(int key);   // a typed key on the search line (8, 13, 27 or text); 1 used
void spin_letter_wheel(int dir); // the character under the cursor, wrapping both ways
void move_search_cursor(int dir);
int initiate_search(); // 0 started; the request holds only wheel characters
int browse_entering_text();
void browse_cancel_text_entry();
// The search list's request "cat=7&search=%s&max=32" from text (wheel characters,
// "_" and "@" kept, the rest dropped) and its listing; 0 started.
int browse_search_for(const char *text);

void browse_controls(); // player 0's buttons for the menu, the search line or the list
void update_list_y();   // scrolls the current list so its cursor shows
void validate_current_list();
void reset_browse_animation();
int action_current_browse_item(); // 0 acted
void print_browse_exit_message();
void draw_browse_screen(vull_bitmap *page);
// The board page of a cart (lid) or of its thread (mid); "" for an unsafe id.
void get_bbs_page_url(const char *key, const char *id, char *out, size_t out_size);
