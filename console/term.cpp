// Terminal output, the console's wording of syntax and runtime errors, the
// traceback, the map from a compiled line to a code tab, and the run chain.
#include "cart/disk.h"
#include "console/term.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/run.h"
#include "console/gfx_print.h"
#include "cart/state.h"
#include "engine/ctext.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/text.h"
#include "vm/lauxlib.h"
#include "vm/ldebug.h"
#include "vm/lparser.h"
#include "vm/zmath.h"

/* ---- printing ---- */

constexpr int TERM_COLUMNS = 32;
constexpr int TERM_LINE = 6;

// A headless run has no screen anyone sees: its terminal lines, the ones a
// running cart causes (the host allocation lines) included, go to stdout.
static bool term_to_stdout() { return pstate.headless != 0; }

// The cursor advances one line; at the bottom the console text scrolls.
static void term_advance_line() {
    pstate.draw_state.cursor_x = pstate.draw_state.print_left_margin;
    cursor_cr();
}

void zibo_print_col(const char *text, int colour) {
    if (text == nullptr) text = "";
    if (term_to_stdout()) {
        std::puts(text);
        std::fflush(stdout);
        return;
    }
    vull_bitmap *bmp = pstate.draw_surface;
    draw_state_rec &ds = pstate.draw_state;
    int len = static_cast<int>(strnlen(text, 4096));
    int rows = len > 0 ? (len - 1) / TERM_COLUMNS + 1 : 1;
    for (int i = 1; i < rows; i++) term_advance_line();
    ds.cursor_y -= (rows - 1) * TERM_LINE;
    if (bmp != nullptr) {
        vull_rectfill(bmp, 0, ds.cursor_y, 127, ds.cursor_y + rows * TERM_LINE - 1, 0);
        for (int r = 0; r < rows; r++) {
            char line[TERM_COLUMNS + 1];
            vull_copy_text(line, text + r * TERM_COLUMNS, sizeof line);
            cpod *font = pstate.font_pod ? pstate.font_pod : vull_font1;
            vull_draw_text_ex(bmp, line, font, ds.cursor_x, ds.cursor_y + r * TERM_LINE,
                              VULL_TEXT_TINT, static_cast<uint32_t>(colour & 15));
        }
    }
    ds.cursor_y += (rows - 1) * TERM_LINE;
    term_advance_line();
}

void zibo_print(const char *text) { zibo_print_col(text, 6); }

void zibo_print_2_col(const char *format, int a, int b, int colour) {
    char text[4096];
    std::snprintf(text, sizeof text, format, a, b);
    zibo_print_col(text, colour);
}

void zibo_print_2(const char *format, int a, int b) { zibo_print_2_col(format, a, b, 6); }

void error_zibo_print_col(const char *text, int colour) {
    if (text == nullptr) text = "";
    zibo_print_col(text, colour);
    if (app.last_error_text == nullptr) app.last_error_text = vull_create_buffer(256);
    if (app.last_error_text) {
        cbuffer_add_data(app.last_error_text, text, static_cast<int>(strnlen(text, 4096)));
        cbuffer_add_uint8(app.last_error_text, '\n');
    }
}

/* ---- lines of the compiled text ---- */

static int count_newlines(const char *s) {
    int n = 0;
    for (; *s; s++) n += (*s == '\n');
    return n;
}

// The compiled text has the two prelude lines first; then each tab's lines
// followed by its marker line.
int find_tab_line(int line, int *tab) {
    if (pstate.code_tab[0] == nullptr) { // no code tabs (a tool compiling plain text)
        if (tab) *tab = 0;
        return line;
    }
    int r = line - 2;
    for (int i = 0; i < Z6_CODE_TABS; i++) {
        int k = count_newlines(code_tab_text(i));
        if (k + 2 >= r) {
            if (tab) *tab = i;
            return r;
        }
        r -= k + 2;
    }
    if (tab) *tab = 0;
    return 0;
}

void zibo6_assert_message(const char *text) { vull_copy_text(pstate.assert_message, text, 255); }

static std::string nth_line;

const char *get_nth_line_ex(const char *text, int n, int flatten) {
    (void)flatten; // an #include never compiles, so a compiled text is already flat
    if (text == nullptr) return "";
    if (n < 1) return "<eof>";
    const char *p = text;
    for (int i = 1; i < n; i++) {
        p = std::strchr(p, '\n');
        if (p == nullptr) return "<eof>";
        p++;
    }
    if (*p == '\0' && n > 1) return "<eof>";
    const char *e = std::strchr(p, '\n');
    nth_line.assign(p, e ? static_cast<size_t>(e - p) : std::strlen(p));
    return nth_line.c_str();
}

const char *get_nth_line(const char *text, int n) { return get_nth_line_ex(text, n, 1); }
const char *get_nth_line_raw(const char *text, int n) { return get_nth_line_ex(text, n, 0); }

// The player has no code editor to move; the tab and cursor still follow the
// error so a later editor finds them.
void navigate_to_error_line(int line, int tab) {
    if (line < 1 || tab < 0 || tab >= Z6_CODE_TABS) return;
    ctext *t = pstate.code_tab[tab];
    if (t == nullptr || t->text == nullptr) return;
    pstate.current_tab = tab;
    t->cursor = ctext_get_pos_for_line_number(t->text, line - 1);
    t->sel_start = t->sel_end = -1;
}

/* ---- errors ---- */

// The line an error belongs to: the innermost script frame in the cart's
// code (line 3 on); the prelude's wrappers (print, printh, stop...) lie on
// line 2, so an API error names the cart line that called the wrapper.
int zibo6_error_line(lua_State *L) {
    lua_Debug ar;
    int first = 0;
    for (int level = 0; level < 64 && lua_getstack(L, level, &ar); level++) {
        if (!lua_getinfo(L, "l", &ar) || ar.currentline <= 0) continue;
        if (ar.currentline > 2) return ar.currentline;
        if (first == 0) first = ar.currentline;
    }
    return first;
}

int zibo6_runtime_error(lua_State *L, const char *text) {
    if (pstate.reset_glitch_counter >= 1) return 0;
    zibo6_runtime_line = zibo6_error_line(L);
    lua_pushstring(L, text ? text : "");
    return lua_error(L);
}

static const char *const CHUNK_NAME = "-- zibo-6 header";

const char *extract_syntax_error(const char *message, int with_position) {
    static char out[1024];
    if (message == nullptr) message = "";
    if (std::strstr(message, "_end_of_program")) return nullptr;
    if (const char *c = std::strstr(message, "to close '")) {
        int line = 0, tab = 0;
        if (const char *at = std::strstr(message, "at line "))
            if (std::sscanf(at + 8, "%d (tab %d)", &line, &tab) != 2) tab = 0;
        char word[64];
        const char *w = c + 10;
        const char *we = std::strchr(w, '\'');
        size_t wn = we ? static_cast<size_t>(we - w) : std::strlen(w);
        if (wn >= sizeof word) wn = sizeof word - 1;
        std::memcpy(word, w, wn);
        word[wn] = '\0';
        char text[256];
        if (with_position)
            std::snprintf(text, sizeof text, "unclosed %s at line %d (tab %d)\n", word, line, tab);
        else
            std::snprintf(text, sizeof text, "unclosed %s", word);
        error_zibo_print_col(text, 6);
        if (line > 0) navigate_to_error_line(line, tab);
        return nullptr;
    }
    const char *colon = std::strrchr(message, ':');
    const char *from = message;
    if (colon) from = colon[1] ? colon + 2 : colon + 1;
    if (from > message + std::strlen(message)) from = message + std::strlen(message);
    vull_copy_text(out, from, sizeof out);
    return out;
}

// The T of a syntax error is kept only inside the visible tabs: a line
// beyond them lies in the appended main-loop script.
void report_syntax_error(const char *message, const char *cart_text, int command) {
    pstate.draw_state.pen_colour = 6;
    const char *yielded = nullptr;
    std::string offending;
    bool printed_line = false;
    if (!command) {
        int vm_line = zibo6_last_line_number;
        int tab = 0;
        int t = find_tab_line(vm_line, &tab);
        if (t != 0 && tab >= count_visible_tabs()) t = 0;
        if (t != 0) {
            if (t > 0) navigate_to_error_line(t, tab);
            char head[128];
            std::snprintf(head, sizeof head, "syntax error line %d (tab %d)", t, tab);
            error_zibo_print_col(head, 14);
            offending = get_nth_line_ex(cart_text, vm_line - 2, 1);
            error_zibo_print_col(offending.c_str(), 7);
            printed_line = true;
            yielded = extract_syntax_error(message, 0);
        } else {
            error_zibo_print_col("syntax error", 14);
            yielded = extract_syntax_error(message, 1);
        }
    } else {
        error_zibo_print_col("syntax error", 14);
        yielded = extract_syntax_error(message, 0);
    }
    if (yielded == nullptr) return;
    if (std::strcmp(yielded, "unexpected symbol near 'end'") == 0 && printed_line &&
        offending.find("end") == std::string::npos)
        error_zibo_print_col("unexpected end of line", 6);
    else
        error_zibo_print_col(yielded, 6);
}

bool extract_runtime_error(const char *message) {
    if (message == nullptr) message = "";
    bool shown_assert = false;
    if (std::strstr(message, CHUNK_NAME)) {
        bool special = false;
        if (std::strstr(message, "assertion failed")) {
            special = true;
            error_zibo_print_col("assertion failed", 6);
            if (pstate.assert_message[0]) error_zibo_print_col(pstate.assert_message, 7);
            shown_assert = true;
        }
        if (const char *p = std::strstr(message, "position out of bounds")) {
            special = true;
            std::string s(p);
            if (!s.empty()) s.pop_back();
            error_zibo_print_col(s.c_str(), 6);
        }
        if (!special) {
            // "[string "..."]:N: text": the text after the position
            const char *p = std::strstr(message, "]:");
            const char *text = message;
            if (p) {
                const char *q = std::strstr(p + 2, ": ");
                text = q ? q + 2 : p + 2;
            }
            char buf[1024];
            vull_copy_text(buf, text, sizeof buf);
            error_zibo_print_col(buf, 6);
            // assert(false, text) raises its own text as the error
            shown_assert = std::strcmp(buf, pstate.assert_message) == 0;
        }
    } else if (std::strcmp(message, "not enough memory") != 0) {
        char buf[1024];
        vull_copy_text(buf, message, sizeof buf);
        error_zibo_print_col(buf, 6);
    }
    return shown_assert;
}

// Runs inside lua_pcall on the guard thread: the failed thread's stack is
// only read, and an error (say, memory) unwinds to the pcall.
static int traceback_of(lua_State *L) {
    lua_State *target = lua_tothread(L, 1);
    if (target == nullptr) return 0;
    luaL_traceback(L, target, nullptr, 0);
    return 1;
}

std::string error_object_text(lua_State *L, int index) {
    if (L == nullptr) return "";
    if (lua_type(L, index) == LUA_TSTRING) return lua_tostring(L, index);
    if (lua_type(L, index) == LUA_TNUMBER) {
        char text[32];
        zibo6_fixed_to_string(text, lua_tonumber(L, index));
        return text;
    }
    return "";
}

// The failed thread can run nothing, and building the text may need memory
// that is not there: it is built on the guard thread inside a protected
// call, and left out when that fails. The report never ends the process.
void print_traceback(lua_State *L) {
    lua_State *G = zrun.L_guard;
    if (L == nullptr || G == nullptr || G == L) return;
    if (!lua_checkstack(L, 1) || !lua_checkstack(G, 3)) return;
    int top = lua_gettop(G);
    lua_pushcfunction(G, traceback_of);
    lua_pushthread(L);
    lua_xmove(L, G, 1);
    std::string text;
    if (lua_pcall(G, 1, 1, 0) == LUA_OK && lua_type(G, -1) == LUA_TSTRING)
        text = lua_tostring(G, -1);
    lua_settop(G, top);

    const int cart_lines = count_newlines(zrun.program_text.c_str()) + 1;
    size_t pos = 0;
    for (int examined = 0; examined < 10 && pos < text.size(); examined++) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        char line[512];
        vull_copy_text(line, text.substr(pos, end - pos).c_str(), sizeof line);
        pos = end + 1;
        if (std::strstr(line, "stack traceback") || std::strstr(line, "'_mainloop")) continue;
        const char *colon = std::strchr(line, ':');
        if (colon == nullptr) continue;
        int n = std::atoi(colon + 1);
        // lines of the prelude (1-2) and of the appended main loop are not
        // the cart's code
        if (n <= 2 || n - 2 > cart_lines) continue;
        int tab = 0;
        char out[640];
        if (const char *f = std::strstr(line, "in function '")) {
            f += 13;
            const char *fe = std::strchr(f, '\'');
            std::string name(f, fe ? static_cast<size_t>(fe - f) : std::strlen(f));
            int t = find_tab_line(n, &tab);
            std::snprintf(out, sizeof out, "in %s line %d (tab %d)", name.c_str(), t, tab);
            zibo_print_col(out, 13);
        } else if (std::strstr(line, "in main chunk")) {
            int t = find_tab_line(n, &tab);
            if (t >= 0) {
                std::snprintf(out, sizeof out, "at line %d (tab %d)", t, tab);
                error_zibo_print_col(out, 13);
            }
        }
    }
}

void report_runtime_error(lua_State *L, const char *message) {
    if (pstate.cart_code_running) {
        int n = zibo6_runtime_line;
        if (n > 2) {
            std::string s = get_nth_line_ex(zrun.program_text.c_str(), n - 2, 1);
            int tab = 0;
            int t = find_tab_line(n, &tab);
            if (tab < count_visible_tabs()) {
                char head[128];
                std::snprintf(head, sizeof head, "runtime error line %d tab %d", t, tab);
                error_zibo_print_col(head, 14);
                error_zibo_print_col(s.c_str(), 7);
                if (t > 0) navigate_to_error_line(t, tab);
            } else {
                error_zibo_print_col("runtime error", 14);
            }
        }
    } else {
        error_zibo_print_col("runtime error", 14);
    }
    // The stored assert message is shown once: after the error unless the
    // error's own text already was that message.
    if (!extract_runtime_error(message) && pstate.assert_message[0])
        error_zibo_print_col(pstate.assert_message, 6);
    if (pstate.host_allocation_failed)
        pstate.host_allocation_failed = 0;
    else if (pstate.cart_code_running)
        print_traceback(L);
}

/* ---- run chain ---- */

// The file holds a whole path: a cut one would lead back to some other cart.
struct run_chain_item {
    char file[Z6_PATH_LEN];
    char label[32];
    char param[1028];
    int32_t pending;
};

static run_chain_item run_chain[Z6_RUN_CHAIN_MAX];
static int run_chain_items = 0;
int devkit_notice_flag = 0;

int add_run_chain_item(const char *file, const char *label, int pending) {
    if (run_chain_items >= Z6_RUN_CHAIN_MAX) return 0;
    if (!file || std::strlen(file) >= sizeof run_chain[0].file) {
        zibo_print_col("breadcrumb not kept: path too long", 8);
        return 0;
    }
    run_chain_item &it = run_chain[run_chain_items++];
    vull_copy_text(it.file, file, sizeof it.file);
    vull_copy_text(it.label, label, sizeof it.label);
    vull_copy_text(it.param, pstate.parameter_string, sizeof it.param);
    it.pending = pending;
    return 1;
}

void reset_run_chain() {
    run_chain_items = 0;
    devkit_notice_flag = 0;
}

int pop_run_chain() {
    if (run_chain_items > 0) run_chain_items--;
    return run_chain_items;
}

int run_chain_count() { return run_chain_items; }

const char *get_run_chain_label() {
    return run_chain_items ? run_chain[run_chain_items - 1].label : nullptr;
}
const char *get_run_chain_filename() {
    return run_chain_items ? run_chain[run_chain_items - 1].file : nullptr;
}
const char *get_run_chain_param_str() {
    return run_chain_items ? run_chain[run_chain_items - 1].param : nullptr;
}

void run_chain_cancel_pending() {
    if (run_chain_items && run_chain[run_chain_items - 1].pending) run_chain_items--;
}

void run_chain_confirm_pending() {
    if (run_chain_items) run_chain[run_chain_items - 1].pending = 0;
}

void follow_current_breadcrumb() {
    if (run_chain_items == 0) return;
    run_chain_item &it = run_chain[run_chain_items - 1];
    load_working_cart(it.file); // the run is requested whatever it gives
    pstate.pending_action = 1;
    vull_copy_text(pstate.parameter_string_pending, it.param, Z6_PATH_LEN);
    pstate.load_transition_frames = 20;
    run_chain_items--;
    app.paused_menu_state = 0;
}
