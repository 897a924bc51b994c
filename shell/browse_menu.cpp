// Cart browser screens: the cart menu, the search line with its letter wheel,
// the browser's controls and what choosing an item does. The player never
// reaches them (its browser update and draw stay empty); they work on the
// lists of browse.cpp and start downloads through the board client.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/button.h"
#include "shell/zibo6.h"
#include "cart/state.h"
#include "engine/config.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/board.h"
#include "shell/browse.h"
#include "shell/pause.h"

browse_screen_state browse_screen;

namespace {

constexpr int WHEEL_SIZE = int(sizeof BROWSE_WHEEL) - 1;

browse_item *current_item() {
    validate_current_list();
    browse_list *list = &browse.list[browse.current_list];
    return get_browse_item(list, list->cursor);
}

void add_menu_item(const char *label, int code) {
    if (browse_screen.menu_items >= CART_MENU_ITEMS) return;
    cart_menu_entry &e = browse_screen.menu[browse_screen.menu_items++];
    vull_copy_text(e.label, label, sizeof e.label);
    e.code = code;
}

// The line as a whole: positions never written yet (the record starts zeroed)
// are spaces, so no NUL cuts the text short.
char *search_line() {
    char *line = browse_screen.search;
    for (int i = 0; i < SEARCH_LINE_LEN; i++)
        if (!line[i]) line[i] = ' ';
    line[SEARCH_LINE_LEN] = 0;
    return line;
}

int wheel_index(char c) {
    const char *p = c ? strchr(BROWSE_WHEEL, c) : nullptr;
    return p ? int(p - BROWSE_WHEEL) : -1;
}

// Full host path of a local item (its text is relative to the cart folder).
bool local_cart_path(const browse_item *item, char *out, size_t out_size) {
    if (!item->text[0]) return false;
    return size_t(snprintf(out, out_size, "%s%s", pstate.root_path, item->text)) < out_size;
}

void close_menu() {
    browse_screen.menu_page = 0;
    browse_screen.menu_items = 0;
    browse_screen.menu_selected = 0;
}

void open_page_url(const char *key, const char *id) {
    char url[1024];
    get_bbs_page_url(key, id, url, sizeof url);
    if (url[0]) vull_launch_html(url);
}

// Folder items of the local list: ".." goes up, any other name goes in.
int enter_folder(const browse_item *item) {
    char *folder = pstate.current_folder;
    if (strcmp(item->title, "..") == 0) {
        size_t n = strlen(folder);
        if (n && folder[n - 1] == '/') folder[--n] = 0;
        char *slash = strrchr(folder, '/');
        if (slash)
            slash[1] = 0;
        else
            folder[0] = 0;
    } else {
        // the name came from the folder listing: one path component only
        if (!item->title[0] || strchr(item->title, '/') || strcmp(item->title, ".") == 0) return 1;
        size_t have = strlen(folder), add = strlen(item->title);
        if (have + add + 2 > sizeof pstate.current_folder) return 1;
        memcpy(folder + have, item->title, add);
        folder[have + add] = '/';
        folder[have + add + 1] = 0;
    }
    browse.list[LIST_LOCAL].cursor = 0;
    browse_screen.list_y[LIST_LOCAL] = 0;
    browse_enter();
    reset_browse_animation();
    return 0;
}

// A board cart: its cached file runs at once; a missing one is fetched first
// (update_browse_download runs it when it arrives).
int run_board_cart(const browse_item *item) {
    browse.running_item = *item;
    browse.running_item.label = nullptr;
    vull_copy_text(board.title, item->title, sizeof board.title);
    char file[1024];
    get_bbs_cart_filename(item->lid, file, sizeof file);
    if (file[0] && vull_file_exists(file)) {
        zibo6_cart *cart = load_zibo6_cart_png(file);
        if (cart) {
            prepare_loaded_cart(cart, file);
            vull_copy_text(pstate.running_cart_lid, item->lid, sizeof pstate.running_cart_lid);
            pstate.pending_action = 1;
            return 0;
        }
    }
    if (app.download_state != 0) return 1; // one fetch at a time
    board.cart_download = 1;
    return download_bbs_cart(item->lid) == 1 ? 0 : 1;
}

} // namespace

void get_bbs_page_url(const char *key, const char *id, char *out, size_t out_size) {
    out[0] = 0;
    if (!browse_lid_is_safe(id)) return;
    if (size_t(snprintf(out, out_size, "%s/bbs/?%s=%s", board.host, key, id)) >= out_size)
        out[0] = 0;
}

// ---- the cart menu ----

void generate_cart_menu(int page) {
    browse_screen.menu_items = 0;
    browse_screen.menu_page = page;
    const browse_item *it = current_item();
    bool cart = it->kind == BROWSE_CART;
    bool board_cart = cart && it->lid[0];
    if (page == 2) {
        if (cart && !board_cart && it->text[0]) add_menu_item("edit cart", CART_MENU_EDIT);
        if (board_cart) {
            add_menu_item("re-download", CART_MENU_REDOWNLOAD);
            add_menu_item("open in browser", CART_MENU_OPEN_PAGE);
        }
        add_menu_item(cconfig.sound_volume ? "sound:on" : "sound:off", CART_MENU_SOUND);
        add_menu_item(vull_get_windowed() ? "fullscreen:off" : "fullscreen:on",
                      CART_MENU_FULLSCREEN);
        add_menu_item("back", CART_MENU_BACK);
    } else {
        if (cart) add_menu_item("run cart", CART_MENU_RUN);
        add_menu_item("options", CART_MENU_OPTIONS);
        if (cart) {
            add_menu_item(is_favourite(it->lid, it->text) ? "remove from favourites" : "favourite",
                          CART_MENU_FAVOURITE);
        }
        if (board_cart) {
            if (it->author[0]) {
                char label[CART_MENU_LABEL];
                snprintf(label, sizeof label, "carts by @%.16s", it->author);
                add_menu_item(label, CART_MENU_CARTS_BY);
            }
            add_menu_item("similar carts", CART_MENU_SIMILAR);
            if (it->mid[0]) add_menu_item("open thread in browser", CART_MENU_OPEN_THREAD);
        } else if (cart) {
            add_menu_item("search bbs thread", CART_MENU_SEARCH_THREAD);
        }
        add_menu_item("[back]", CART_MENU_CLOSE);
    }
    if (browse_screen.menu_selected >= browse_screen.menu_items) browse_screen.menu_selected = 0;
}

void cart_menu_pop() {
    browse_screen.menu_selected = 0;
    generate_cart_menu(1);
}

void cart_menu_action(int code) {
    browse_item item = *current_item(); // the lists may change under the action
    item.label = nullptr;
    int page = browse_screen.menu_page;
    switch (code) {
    case CART_MENU_RUN:
        close_menu();
        action_current_browse_item();
        return;
    case CART_MENU_OPTIONS:
        browse_screen.menu_selected = 0;
        generate_cart_menu(2);
        return;
    case CART_MENU_FAVOURITE: browse_toggle_favourite(); break;
    case CART_MENU_CARTS_BY: {
        char text[BROWSE_TEXT_LEN + 1];
        snprintf(text, sizeof text, "@%s", item.author);
        close_menu();
        browse_search_for(text);
        return;
    }
    case CART_MENU_SIMILAR:
    case CART_MENU_SEARCH_THREAD:
        close_menu();
        browse_search_for(item.title);
        return;
    case CART_MENU_OPEN_THREAD: open_page_url("tid", item.mid); break;
    case CART_MENU_OPEN_PAGE: open_page_url("pid", item.lid); break;
    case CART_MENU_CLOSE: close_menu(); return;
    case CART_MENU_EDIT: {
        close_menu();
        char path[VULL_PATH_LEN];
        if (!local_cart_path(&item, path, sizeof path) || load_working_cart(path) != 0) {
            show_message("could not load", 1500);
            return;
        }
        pstate.sub_mode = 0; // to the console with the cart as the working cart
        print_browse_exit_message();
        return;
    }
    case CART_MENU_REDOWNLOAD:
        close_menu();
        board.cart_download = 1;
        vull_copy_text(board.title, item.title, sizeof board.title);
        download_bbs_cart(item.lid);
        return;
    case CART_MENU_BACK:
        browse_screen.menu_selected = 0;
        page = 1;
        break;
    case CART_MENU_SOUND: toggle_sound_volume(); break;
    case CART_MENU_FULLSCREEN: vull_toggle_fullscreen(); break;
    default: return;
    }
    generate_cart_menu(page); // labels follow what the action changed
}

// ---- the search line ----

int browse_entering_text() { return browse_screen.entering_text; }

void spin_letter_wheel(int dir) {
    int pos = browse_screen.search_cursor;
    if (pos < 0 || pos >= SEARCH_LINE_LEN) return;
    char *line = search_line();
    int i = wheel_index(line[pos]);
    if (i < 0) i = 0;
    i = ((i + dir) % WHEEL_SIZE + WHEEL_SIZE) % WHEEL_SIZE;
    line[pos] = BROWSE_WHEEL[i];
}

void move_search_cursor(int dir) {
    int pos = browse_screen.search_cursor + dir;
    browse_screen.search_cursor = pos < 0 ? 0 : pos >= SEARCH_LINE_LEN ? SEARCH_LINE_LEN - 1 : pos;
}

int browse_search_for(const char *text) {
    // the request is a URL query: only the wheel's characters, "_" (in board
    // author names) and "@" pass; the board client escapes the value as well
    char value[SEARCH_LINE_LEN * 4 + 1];
    size_t n = 0;
    for (const char *p = text; *p && n + 1 < sizeof value; p++) {
        char c = char(tolower((unsigned char)*p));
        if (wheel_index(c) >= 0 || c == '_' || c == '@') value[n++] = c;
    }
    value[n] = 0;
    trim_trailing_space(value);
    const char *start = value + strspn(value, " ");
    if (!*start) return 1;
    browse_list *list = &browse.list[LIST_SEARCH];
    snprintf(list->request, sizeof list->request, "cat=7&search=%s&max=32", start);
    browse.current_list = LIST_SEARCH;
    list->cursor = 0;
    browse_screen.list_y[LIST_SEARCH] = 0;
    reset_browse_animation();
    return download_list(LIST_SEARCH, 0) == 1 ? 0 : 1;
}

int initiate_search() {
    browse_screen.entering_text = 0;
    return browse_search_for(search_line());
}

void browse_cancel_text_entry() {
    browse_screen.entering_text = 0;
    show_message("cancelled", 1500);
}

int browse_keypress(int key) {
    if (!browse_screen.entering_text) return 0;
    char *line = search_line();
    move_search_cursor(0); // a cursor set from outside still lands on the line
    int &pos = browse_screen.search_cursor;
    if (key == 8) { // backspace clears the position before the cursor
        if (pos > 0) pos--;
        line[pos] = ' ';
    } else if (key == 13) {
        initiate_search();
    } else if (key == 27) {
        browse_cancel_text_entry();
    } else {
        char c = char(tolower(key & 0xff));
        if (key > 0xff || wheel_index(c) < 0) return 0;
        line[pos] = c;
        move_search_cursor(1);
    }
    return 1;
}

// ---- controls and items ----

int action_current_browse_item() {
    validate_current_list();
    browse_list *list = &browse.list[browse.current_list];
    if (list->count <= 0) return 1;
    browse_item item = *current_item();
    item.label = nullptr;
    switch (item.kind) {
    case BROWSE_FOLDER: return browse.current_list == LIST_LOCAL ? enter_folder(&item) : 1;
    case BROWSE_UPDATE: return download_list(browse.current_list, 0) == 1 ? 0 : 1;
    case BROWSE_LOAD_MORE: {
        int carts = 0;
        for (int i = 0; i < list->count; i++) carts += list->items[i].kind == BROWSE_CART;
        return download_list(browse.current_list, carts) == 1 ? 0 : 1;
    }
    case BROWSE_SEARCH: browse_screen.entering_text = 1; return 0;
    case BROWSE_CART: break;
    default: return 1;
    }
    if (item.lid[0]) return run_board_cart(&item);
    char path[VULL_PATH_LEN];
    if (!local_cart_path(&item, path, sizeof path) || load_working_cart(path) != 0) {
        show_message("could not load", 1500);
        return 1;
    }
    pstate.pending_action = 1;
    return 0;
}

void browse_controls() {
    auto pressed = [](int b) { return button_pressed(b, 0) != 0; };
    if (app.download_state == 1 && pressed(5)) {
        cancel_download("download cancelled");
        return;
    }
    if (browse_screen.slide > 0)
        browse_screen.slide = browse_screen.slide > 8 ? browse_screen.slide - 8 : 0;
    browse_screen.anim_frames++;
    if (browse_screen.menu_page) {
        int n = browse_screen.menu_items;
        int &sel = browse_screen.menu_selected;
        if (n <= 0) return close_menu();
        if (pressed(2)) sel = (sel + n - 1) % n;
        if (pressed(3)) sel = (sel + 1) % n;
        if (sel < 0 || sel >= n) sel = 0;
        if (pressed(4) || pressed(5))
            cart_menu_action(browse_screen.menu[sel].code);
        else if (pressed(6))
            close_menu();
        return;
    }
    if (browse_screen.entering_text) {
        if (pressed(0)) move_search_cursor(-1);
        if (pressed(1)) move_search_cursor(1);
        if (pressed(2)) spin_letter_wheel(1);
        if (pressed(3)) spin_letter_wheel(-1);
        if (pressed(4))
            initiate_search();
        else if (pressed(5))
            browse_cancel_text_entry();
        return;
    }
    validate_current_list();
    browse_list *list = &browse.list[browse.current_list];
    int before = list->cursor;
    if (pressed(2)) list->cursor--;
    if (pressed(3)) list->cursor++;
    if (pressed(0) || pressed(1)) {
        browse.current_list =
            (browse.current_list + (pressed(0) ? BROWSE_LISTS - 1 : 1)) % BROWSE_LISTS;
        browse_screen.slide = 32;
    }
    validate_current_list();
    list = &browse.list[browse.current_list];
    if (list->cursor != before) browse_screen.anim_frames = 0;
    if (pressed(4))
        action_current_browse_item();
    else if (pressed(5) || pressed(6))
        cart_menu_pop();
}
