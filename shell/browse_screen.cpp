// Cart browser screens: the list's scroll and checks, the exit message, and
// the drawing of the list, the search line and the cart menu onto the back
// page. The player never reaches them (its browser draw stays empty).
#include <algorithm>
#include <cstring>

#include "console/gfx_shape.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/gfx.h"
#include "shell/browse.h"
#include "shell/compose.h"

namespace {

constexpr int RES_POINTER = 245;
constexpr int RES_HEART = 188;
constexpr int ROW_H = 9;      // pixels per list row
constexpr int ROWS_TOP = 11;  // first row's y
constexpr int ROW_CHARS = 26; // title characters that fit beside the icon and the heart
constexpr int SEARCH_Y = 120; // the search line (or the author of the item)

browse_list *current_list() { return &browse.list[browse.current_list]; }

void draw_search_line(vull_bitmap *page) {
    draw_console_text(page, "search:", 1, SEARCH_Y + 1, 6);
    char line[SEARCH_LINE_LEN + 1];
    for (int i = 0; i < SEARCH_LINE_LEN; i++)
        line[i] = browse_screen.search[i] ? browse_screen.search[i] : ' ';
    line[SEARCH_LINE_LEN] = 0;
    int x = 30;
    if (browse_screen.entering_text && (browse_screen.anim_frames / 8) % 2 == 0) {
        int cx = x + 4 * browse_screen.search_cursor;
        vull_rectfill(page, cx - 1, SEARCH_Y, cx + 3, SEARCH_Y + 6, 5);
    }
    draw_console_text(page, line, x, SEARCH_Y + 1, 7);
}

} // namespace

void update_list_y() {
    const browse_list *list = current_list();
    int &y = browse_screen.list_y[browse.current_list];
    if (list->cursor < y) y = list->cursor;
    if (list->cursor >= y + BROWSE_ROWS) y = list->cursor - BROWSE_ROWS + 1;
    y = std::clamp(y, 0, std::max(0, list->count - BROWSE_ROWS));
}

void validate_current_list() {
    if (browse.current_list < 0 || browse.current_list >= BROWSE_LISTS) browse.current_list = 0;
    browse_list *list = current_list();
    list->cursor = list->count > 0 ? std::clamp(list->cursor, 0, list->count - 1) : 0;
    update_list_y();
}

void reset_browse_animation() {
    browse_screen.anim_frames = 0;
    browse_screen.slide = 0;
}

void print_browse_exit_message() {
    zibo_print("");
    zibo_print_col("::::::  zibo-6 console  ::::::", 14);
    zibo_print(browse.initialised && !app.kiosk ? "type browse to return to browse"
                                                : "type help for help");
    zibo_print("");
}

void draw_cart_menu(vull_bitmap *page) {
    int n = browse_screen.menu_items;
    if (!browse_screen.menu_page || n <= 0) return;
    int h = 4 * n + 4;
    draw_tinted_rect_adaptive(page, 3, 63 - h, 124, 64 + h, 1);
    vull_rect(page, 4, 64 - h, 123, 63 + h, 7);
    for (int i = 0; i < n; i++) {
        int y = 70 - h + 8 * i;
        bool selected = i == browse_screen.menu_selected;
        draw_console_text(page, browse_screen.menu[i].label, selected ? 15 : 14, y, 7);
        if (selected) draw_resource_picture(page, RES_POINTER, 6, y - 1);
    }
}

void draw_browse_screen(vull_bitmap *page) {
    if (!page) return;
    validate_current_list();
    const browse_list *list = current_list();
    vull_rectfill(page, 0, 0, 127, 127, 0);
    vull_rectfill(page, 0, 0, 127, 8, 1);
    draw_resource_picture(page, list->icon, 1, 1);
    draw_console_text(page, list->title, 10 + browse_screen.slide, 2, 7);

    int first = browse_screen.list_y[browse.current_list];
    for (int r = 0; r < BROWSE_ROWS && first + r < list->count; r++) {
        const browse_item *it = &list->items[first + r];
        int y = ROWS_TOP + r * ROW_H;
        bool selected = first + r == list->cursor;
        if (selected) vull_rectfill(page, 0, y - 1, 127, y + 7, 5);
        draw_resource_picture(page, get_icon_for_item(it), 2, y);
        char title[ROW_CHARS + 1];
        vull_copy_text(title, it->title, sizeof title);
        draw_console_text(page, title, 11, y + 1, selected ? 7 : 6);
        if (it->listed) draw_resource_picture(page, RES_HEART, 119, y);
    }

    if (browse.current_list == LIST_SEARCH || browse_screen.entering_text) {
        draw_search_line(page);
    } else if (list->count > 0 && list->items[list->cursor].author[0]) {
        char by[BROWSE_TEXT_LEN + 1];
        by[0] = '@';
        vull_copy_text(by + 1, list->items[list->cursor].author, 24);
        draw_console_text(page, by, 1, SEARCH_Y + 1, 13);
    }
    draw_cart_menu(page);
}
