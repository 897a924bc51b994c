// Text buffer field: a multi-line text of console bytes in a fixed-capacity
// buffer, with cursor, selection, scrolling, search, whole-text undo
// snapshots, and the GUI element that edits and draws it.
#pragma once
#include <cstdint>
#include "engine/mem.h"

struct cpod;
struct vull_bitmap;
struct vull_gui_element;
struct vull_undo_stack;

constexpr int CTEXT_SEARCH_LEN = 256; // search text buffer; typing stops at 253 characters
constexpr int CTEXT_TAIL = 24;        // the six int32 behind the text of a snapshot

struct ctext {
    char *text;          // NUL-terminated text: the owned buffer's block or the creator's
    cbuffer *buffer;     // the owned buffer (capacity + 1 bytes), or null
    int32_t capacity;    // largest text length in bytes
    int32_t search_box;  // 1 while the search box is open
    int32_t search_mode; // 0 find, 1 go to line
    char search_text[CTEXT_SEARCH_LEN]; // what the find and go-to-line operations use
    int32_t search_active;              // 1 after a search was started
    vull_gui_element *element;          // the field showing the record, or null
    cpod *font;                         // font pod; null: the engine's second font
    int32_t char_width;                 // pixels per character
    int32_t line_height;                // pixels per line
    int32_t tab_width;                  // pixels per tab stop; below 4 counts as 4
    int32_t scroll_x;                   // view offset in pixels
    int32_t scroll_y;
    int32_t cursor_colour; // 0xRRGGBB
    int32_t punycode;      // 1: capitals stay capitals on copy and paste
    int32_t cursor;        // byte offsets
    int32_t sel_start;
    int32_t sel_end;
    int32_t remembered_col; // pixel column kept by vertical moves
    int32_t snapshot_line;  // line of the last snapshot taken on a new line
    vull_undo_stack *undo;  // snapshots: text, NUL, then the six words above from cursor
};

// Size of the last field seen; used for a record without an element.
extern int last_ctext_width;
extern int last_ctext_height;
// Mouse state of the field handler.
extern int double_clicked;
extern int last_ctext_drag_scroll_t;

// With a null text the record owns a buffer of capacity + 1 bytes. A given
// text block must hold capacity + 1 bytes: that cannot be checked here.
ctext *vull_create_ctext(char *text, int capacity); // null when memory cannot be had
void vull_destroy_ctext(ctext *r);                  // accepts null

int ctext_get_line_number_for_pos(const char *text, int offset);
int ctext_get_pos_for_line_number(const char *text, int line);
void ctext_bound_scrolling_to_cursor(ctext *r, int margin);

// Snapshots. vull_backup_ctext compares only the text, so view changes alone
// add no step; the _allow_view form compares everything.
void vull_backup_ctext(ctext *r);
void vull_backup_ctext_allow_view(ctext *r);
void vull_backup_ctext_if_editing_newline(ctext *r);
int restore_undo_ctext_state(cbuffer *snapshot, ctext *r); // 0 for a null snapshot, else 1
int ctext_undo(ctext *r);                                  // 1 when a snapshot was restored
int ctext_redo(ctext *r);

// Editing; every operation keeps the text NUL-terminated and within capacity.
void ctext_insert_character(ctext *r, int c);
int ctext_insert_text_ex(ctext *r, const char *text, int offset, int move_cursor); // 1 inserted
int ctext_insert_text(ctext *r, const char *text, int offset); // returns the cursor
void ctext_remove_text(ctext *r, int offset, int count);
int ctextfield_delete_selected(ctext *r); // 1 when a selection was removed
void ctextfield_copy(ctext *r, int preemptive);
void ctextfield_paste(ctext *r);
void ctext_duplicate_line(ctext *r);
void ctext_move_line(ctext *r, int direction);
void toggle_block_comment(ctext *r);
void ctext_select_from_double_click(ctext *r, int offset);
void ctext_select_from_triple_click(ctext *r, int offset);
int ctext_search_for_string(ctext *r, int direction);   // 1 found
int ctext_search_for_line(ctext *r);                    // 1 when the text held a number
int ctext_search_for_bookmark(ctext *r, int direction); // 1 found
int start_of_block(ctext *r);
int get_char_cat(int c);
int calculate_skip_steps(ctext *r, int direction);
int get_line_cpos(ctext *r);
int get_line_x(ctext *r);
int line_x_to_cpos(ctext *r, int line_start, int x);
int get_char_width(const ctext *r, int c, int x); // advance of byte c drawn at pixel x of its line
void vull_get_ctextfield_cursor_pos(ctext *r, int *x, int *y);
int vull_get_ctextfield_pos_for_cursor(ctext *r, int x, int y);

// Drawing and the GUI element (type 4). The field draws itself inside its
// rectangle on its target when sent CTEXT_GUIM_DRAW (vull_gui_message, or
// vull_gui_broadcast for type 4); the GUI pass sends only mouse and key messages.
constexpr int CTEXT_GUIM_DRAW = 7;
void draw_ctext(vull_bitmap *bmp, int x, int y, int w, int h, ctext *r);
int vull_gui_add_ctext_field(vull_bitmap *target, int x, int y, int w, int h, ctext *r);
int vhand_ctextfield(vull_gui_element *e, int x, int y, int buttons, int message);
