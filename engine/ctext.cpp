// Text buffer field (ctext).
//
// The text lives in one fixed-capacity block; every edit clamps its offsets
// to the text and refuses to grow past the capacity, so a record can never
// be driven out of bounds by a stale cursor or a long paste.
#include "engine/ctext.h"
#include "engine/mem.h"
#include "engine/charset.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/text.h"
#include "engine/undo.h"
#include "engine/vull.h"
#include "platform/system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int last_ctext_width;
int last_ctext_height;
int double_clicked;
int last_ctext_drag_scroll_t;

namespace {

constexpr int SNAPSHOT_CAPACITY = 2048;
constexpr int SEARCH_TYPED_MAX = 253; // the box takes typed codes while shorter than this
constexpr uint32_t FIELD_COLOUR = 0x404040;

// Scancodes the field reads from the key state.
enum : int {
    SC_RIGHT = 79,
    SC_LEFT = 80,
    SC_DOWN = 81,
    SC_UP = 82,
    SC_HOME = 74,
    SC_PAGEUP = 75,
    SC_DELETE = 76,
    SC_END = 77,
    SC_PAGEDOWN = 78,
    SC_LSHIFT = 225,
};

int text_len(const ctext *r) { return (int)std::strlen(r->text); }

// Offsets from outside (callers, snapshots, the mouse) are pulled into the text.
void clamp_positions(ctext *r) {
    int len = text_len(r);
    r->cursor = std::clamp(r->cursor, 0, len);
    r->sel_start = std::clamp(r->sel_start, 0, len);
    r->sel_end = std::clamp(r->sel_end, 0, len);
}

void collapse_selection(ctext *r) { r->sel_start = r->sel_end = r->cursor; }

bool has_selection(const ctext *r) { return r->sel_start != r->sel_end; }
int sel_lo(const ctext *r) { return std::min(r->sel_start, r->sel_end); }
int sel_hi(const ctext *r) { return std::max(r->sel_start, r->sel_end); }

int line_start_of(const char *t, int offset) {
    while (offset > 0 && t[offset - 1] != '\n') offset--;
    return offset;
}

// Offset of the line's newline, or of the terminating zero on the last line.
int line_end_of(const char *t, int offset) {
    while (t[offset] && t[offset] != '\n') offset++;
    return offset;
}

int field_width(const ctext *r) { return r->element ? r->element->width : last_ctext_width; }
int field_height(const ctext *r) { return r->element ? r->element->height : last_ctext_height; }

// Pixel position of an offset, walking from the start of the text.
void offset_to_xy(const ctext *r, int offset, int *px, int *py) {
    int x = 0, y = 0;
    int len = text_len(r);
    if (offset > 0 && offset <= len) {
        for (int i = 0; i < offset; i++) {
            uint8_t c = (uint8_t)r->text[i];
            if (c == '\n') {
                y += r->line_height;
                x = 0;
            } else {
                x += get_char_width(r, c, x);
            }
        }
    }
    *px = x;
    *py = y;
}

cbuffer *make_snapshot(const ctext *r) {
    int len = text_len(r);
    int cap;
    if (!vull_checked_size(len, 1, 1 + CTEXT_TAIL, &cap)) return nullptr;
    cbuffer *b = vull_create_buffer(std::max(cap, SNAPSHOT_CAPACITY));
    if (!b) return nullptr;
    cbuffer_add_data(b, r->text, len + 1);
    const int32_t words[6] = {r->cursor,   r->sel_start, r->sel_end,
                              r->scroll_x, r->scroll_y,  r->remembered_col};
    for (int32_t w : words) vull_fwrite_int32(w, b);
    if (b->length != len + 1 + CTEXT_TAIL) { // the buffer could not grow
        vull_destroy_buffer(b);
        return nullptr;
    }
    return b;
}

void push_snapshot(ctext *r, bool text_only) {
    if (!r || !r->undo) return;
    cbuffer *b = make_snapshot(r);
    if (b) vull_push_undo_state(b, r->undo, text_only ? text_len(r) + 1 : 0);
}

// Inserts n raw bytes at offset; the caller has checked the capacity.
void insert_raw(ctext *r, int offset, const char *s, int n) {
    int len = text_len(r);
    std::memmove(r->text + offset + n, r->text + offset, (size_t)(len - offset + 1));
    std::memcpy(r->text + offset, s, (size_t)n);
}

// First occurrence of needle starting at or after from; -1 when none.
int find_forward(const char *t, int from, const char *needle) {
    const char *p = std::strstr(t + from, needle);
    return p ? (int)(p - t) : -1;
}

// Last occurrence starting before `before`; -1 when none.
int find_backward(const char *t, int before, const char *needle) {
    int n = (int)std::strlen(needle);
    for (int i = before - 1; i >= 0; i--)
        if (std::strncmp(t + i, needle, (size_t)n) == 0) return i;
    return -1;
}

void set_remembered_col(ctext *r) { r->remembered_col = get_line_x(r); }

// Starts of the lines that the selection touches (the cursor's line without a
// selection). A selection that ends at a line start spares that line.
std::vector<int> selected_line_starts(const ctext *r) {
    int lo = has_selection(r) ? sel_lo(r) : r->cursor;
    int hi = has_selection(r) ? sel_hi(r) : r->cursor;
    if (hi > lo && r->text[hi - 1] == '\n') hi--;
    std::vector<int> starts;
    for (int s = line_start_of(r->text, lo);;) {
        starts.push_back(s);
        int e = line_end_of(r->text, s);
        if (!r->text[e] || e >= hi) break;
        s = e + 1;
    }
    return starts;
}

} // namespace

/* ---- creation ---------------------------------------------------------- */

ctext *vull_create_ctext(char *text, int capacity) {
    if (capacity < 0) capacity = 0;
    auto *r = (ctext *)vull_calloc((int)sizeof(ctext));
    if (!r) return nullptr;
    if (!text) {
        int bytes;
        if (!vull_checked_size(capacity, 1, 1, &bytes) ||
            !(r->buffer = vull_create_page_buffer(bytes))) {
            vull_free(r);
            return nullptr;
        }
        r->text = (char *)r->buffer->data;
    } else {
        r->text = text;
    }
    r->capacity = capacity;
    r->undo = vull_create_undo_stack();
    if (!r->undo) {
        vull_destroy_ctext(r);
        return nullptr;
    }
    r->undo->tail_size = CTEXT_TAIL;
    vull_backup_ctext(r);
    return r;
}

void vull_destroy_ctext(ctext *r) {
    if (!r) return;
    vull_destroy_buffer(r->buffer);
    vull_destroy_undo_stack(r->undo);
    vull_free(r);
}

/* ---- lines, offsets and pixels ------------------------------------------ */

int ctext_get_line_number_for_pos(const char *text, int offset) {
    if (!text) return 0;
    int n = 0;
    for (int i = 0; i < offset && text[i]; i++)
        if (text[i] == '\n') n++;
    return n;
}

int ctext_get_pos_for_line_number(const char *text, int line) {
    if (!text || line <= 0) return 0;
    int i = 0;
    for (; text[i]; i++)
        if (text[i] == '\n' && --line == 0) return i + 1;
    return i;
}

int get_char_width(const ctext *r, int c, int x) {
    c &= 0xFF;
    if (c == '\n') return 0;
    if (c == '\t') {
        int t = std::max(4, r->tab_width);
        return t - ((x % t) + t) % t;
    }
    return c >= 128 ? 2 * r->char_width : r->char_width;
}

void vull_get_ctextfield_cursor_pos(ctext *r, int *x, int *y) {
    int cx = 0, cy = 0;
    if (r) offset_to_xy(r, r->cursor, &cx, &cy);
    if (x) *x = cx;
    if (y) *y = cy;
}

int vull_get_ctextfield_pos_for_cursor(ctext *r, int x, int y) {
    if (!r) return 0;
    int row = (y < 1 || r->line_height < 1) ? 0 : y / r->line_height;
    int i = ctext_get_pos_for_line_number(r->text, row);
    if (x < 0) return i;
    int xx = 0;
    for (; r->text[i] && r->text[i] != '\n'; i++) {
        int w = get_char_width(r, (uint8_t)r->text[i], xx);
        if (x < xx + w) return i;
        xx += w;
    }
    return i;
}

int get_line_cpos(ctext *r) {
    clamp_positions(r);
    return r->cursor - line_start_of(r->text, r->cursor);
}

int get_line_x(ctext *r) {
    clamp_positions(r);
    int x = 0;
    for (int i = line_start_of(r->text, r->cursor); i < r->cursor; i++)
        x += get_char_width(r, (uint8_t)r->text[i], x);
    return x;
}

int line_x_to_cpos(ctext *r, int line_start, int x) {
    int i = std::clamp(line_start, 0, text_len(r));
    int xx = 0;
    for (; r->text[i] && r->text[i] != '\n'; i++) {
        int w = get_char_width(r, (uint8_t)r->text[i], xx);
        if (x < xx + w) break;
        xx += w;
    }
    return i;
}

/*
** Keeping the cursor visible. A margin puts the cursor's line that far below
** the top; without one the view moves only as far as needed.
*/
void ctext_bound_scrolling_to_cursor(ctext *r, int margin) {
    if (!r) return;
    if (r->element) {
        last_ctext_width = r->element->width;
        last_ctext_height = r->element->height;
    }
    int fw = field_width(r), fh = field_height(r);
    int cx, cy;
    vull_get_ctextfield_cursor_pos(r, &cx, &cy);
    if (margin != 0) {
        if (fh > 128) margin = fh / 3;
        r->scroll_y = cy - margin;
    } else {
        r->scroll_y = std::max(std::min(r->scroll_y, cy), cy - (fh - r->line_height));
    }
    r->scroll_y = std::max(r->scroll_y, 0);
    r->scroll_x = std::max({std::min(r->scroll_x, cx), cx + r->char_width - fw, 0});
}

/* ---- snapshots ----------------------------------------------------------- */

void vull_backup_ctext(ctext *r) { push_snapshot(r, true); }

void vull_backup_ctext_allow_view(ctext *r) { push_snapshot(r, false); }

void vull_backup_ctext_if_editing_newline(ctext *r) {
    if (!r) return;
    int line = ctext_get_line_number_for_pos(r->text, r->cursor);
    if (line == r->snapshot_line) return;
    vull_backup_ctext_allow_view(r);
    r->snapshot_line = line;
}

/*
** A snapshot's text is copied only up to the capacity and only up to its own
** terminator, so a snapshot from a larger record cannot overrun this one.
*/
int restore_undo_ctext_state(cbuffer *snapshot, ctext *r) {
    if (!snapshot || !r) return 0;
    if (r->buffer) r->text = (char *)r->buffer->data;
    int body = snapshot->length - CTEXT_TAIL;
    if (body < 1) return 1;
    const uint8_t *d = snapshot->data;
    const void *nul = std::memchr(d, 0, (size_t)body);
    int len = nul ? (int)((const uint8_t *)nul - d) : body;
    len = std::min(len, r->capacity);
    std::memcpy(r->text, d, (size_t)len);
    r->text[len] = 0;
    int32_t w[6];
    std::memcpy(w, d + snapshot->length - CTEXT_TAIL, sizeof w);
    r->cursor = w[0];
    r->sel_start = w[1];
    r->sel_end = w[2];
    r->scroll_x = std::max(0, w[3]);
    r->scroll_y = std::max(0, w[4]);
    r->remembered_col = w[5];
    clamp_positions(r);
    return 1;
}

// Undo first records the text as it stands, so that redo can come back to it.
int ctext_undo(ctext *r) {
    if (!r || !r->undo) return 0;
    vull_backup_ctext(r);
    cbuffer *s = vull_undo(r->undo);
    return s ? restore_undo_ctext_state(s, r) : 0;
}

int ctext_redo(ctext *r) {
    if (!r || !r->undo) return 0;
    cbuffer *s = vull_redo(r->undo);
    return s ? restore_undo_ctext_state(s, r) : 0;
}

/* ---- editing ------------------------------------------------------------- */

void ctext_insert_character(ctext *r, int c) {
    if (!r) return;
    c &= 0xFF;
    if (c == 0 || text_len(r) >= r->capacity) return;
    if (c > 32 && r->cursor != 0)
        vull_backup_ctext_if_editing_newline(r);
    else
        vull_backup_ctext(r);
    clamp_positions(r);
    char ch = (char)c;
    insert_raw(r, r->cursor, &ch, 1);
    r->cursor++;
    collapse_selection(r);
}

/*
** Carriage returns of the inserted text are dropped (the existing text is
** left alone); the capacity check counts them, as the text arrives.
*/
int ctext_insert_text_ex(ctext *r, const char *text, int offset, int move_cursor) {
    if (!r || !text) return 0;
    int len = text_len(r);
    size_t n = std::strlen(text);
    if ((int64_t)len + (int64_t)n > r->capacity) return 0;
    std::string clean;
    clean.reserve(n);
    for (size_t i = 0; i < n; i++)
        if (text[i] != '\r') clean += text[i];
    offset = std::clamp(offset, 0, len);
    insert_raw(r, offset, clean.data(), (int)clean.size());
    if (move_cursor) {
        r->cursor = std::min(r->cursor + (int)clean.size(), r->capacity);
        collapse_selection(r);
    }
    clamp_positions(r);
    return 1;
}

int ctext_insert_text(ctext *r, const char *text, int offset) {
    if (!r) return 0;
    ctext_insert_text_ex(r, text, offset, 1);
    return r->cursor;
}

void ctext_remove_text(ctext *r, int offset, int count) {
    if (!r) return;
    int len = text_len(r);
    offset = std::clamp(offset, 0, len);
    count = std::clamp(count, 0, len - offset);
    std::memmove(r->text + offset, r->text + offset + count, (size_t)(len - offset - count + 1));
    clamp_positions(r);
}

int ctextfield_delete_selected(ctext *r) {
    if (!r) return 0;
    vull_backup_ctext_if_editing_newline(r);
    clamp_positions(r);
    if (!has_selection(r)) return 0;
    vull_backup_ctext(r);
    int lo = sel_lo(r), hi = sel_hi(r);
    ctext_remove_text(r, lo, hi - lo);
    r->cursor = lo;
    collapse_selection(r);
    return 1;
}

void ctextfield_copy(ctext *r, int preemptive) {
    if (!r) return;
    clamp_positions(r);
    if (!has_selection(r)) return;
    std::string part(r->text + sel_lo(r), r->text + sel_hi(r));
    char *utf8 = convert_glyphs_to_escaped_ex(part.c_str(), nullptr, r->punycode);
    if (!utf8) return;
    if (preemptive)
        vull_set_clipboard_text_preemptive(utf8);
    else
        vull_set_clipboard_text(utf8);
    vull_free(utf8);
}

void ctextfield_paste(ctext *r) {
    if (!r || !vull_has_clipboard_text()) return;
    char *clip = vull_get_clipboard_text();
    if (!clip) return;
    vull_backup_ctext(r);
    if (!r->punycode) vull_lowercase(clip);
    char *glyphs = convert_escaped_to_glyphs(clip, nullptr);
    vull_free(clip);
    if (!glyphs) return;
    clamp_positions(r);
    ctext_insert_text_ex(r, glyphs, r->cursor, 1);
    vull_free(glyphs);
}

void ctext_duplicate_line(ctext *r) {
    if (!r) return;
    vull_backup_ctext_if_editing_newline(r);
    clamp_positions(r);
    int ls = line_start_of(r->text, r->cursor), le = line_end_of(r->text, r->cursor);
    if (le == ls) return;
    std::string line(r->text + ls, r->text + le);
    line += '\n';
    if (text_len(r) + (int)line.size() > r->capacity) return;
    insert_raw(r, ls, line.data(), (int)line.size());
    r->cursor += (int)line.size();
    collapse_selection(r);
}

/*
** The text gets a final newline for the swap (when there is room) so that
** the last line swaps like any other; it is taken off again afterwards.
*/
void ctext_move_line(ctext *r, int direction) {
    if (!r || (direction != -1 && direction != 1)) return;
    vull_backup_ctext(r);
    clamp_positions(r);
    int len = text_len(r);
    bool added = false;
    if (len == 0 || r->text[len - 1] != '\n') {
        if (len >= r->capacity) return;
        r->text[len] = '\n';
        r->text[len + 1] = 0;
        len++;
        added = true;
    }
    int ls = line_start_of(r->text, r->cursor);
    int le = line_end_of(r->text, r->cursor) + 1; // past the newline
    int col = r->cursor - ls;
    if (direction < 0 && ls > 0) {
        int ps = line_start_of(r->text, ls - 1);
        std::string prev(r->text + ps, r->text + ls), cur(r->text + ls, r->text + le);
        std::string swapped = cur + prev;
        std::memcpy(r->text + ps, swapped.data(), swapped.size());
        r->cursor = ps + col;
    } else if (direction > 0 && le < len) {
        int ne = line_end_of(r->text, le) + 1;
        std::string cur(r->text + ls, r->text + le), next(r->text + le, r->text + ne);
        std::string swapped = next + cur;
        std::memcpy(r->text + ls, swapped.data(), swapped.size());
        r->cursor = ls + (int)next.size() + col;
    }
    if (added) r->text[len - 1] = 0;
    collapse_selection(r);
    clamp_positions(r);
}

void toggle_block_comment(ctext *r) {
    if (!r) return;
    vull_backup_ctext(r);
    clamp_positions(r);
    std::vector<int> starts = selected_line_starts(r);
    bool all = true;
    for (int s : starts)
        if (std::strncmp(r->text + s, "--", 2) != 0) all = false;
    if (!all && text_len(r) + 2 * (int)starts.size() > r->capacity) return;
    // Positions after a changed line start move with the text.
    auto shift = [&](int pos) {
        int d = 0;
        for (int s : starts)
            if (s < pos || (s == pos && !all)) d += all ? -std::min(2, pos - s) : 2;
        return pos + d;
    };
    int c = shift(r->cursor), a = shift(r->sel_start), b = shift(r->sel_end);
    for (size_t i = starts.size(); i-- > 0;) {
        if (all)
            ctext_remove_text(r, starts[i], 2);
        else
            insert_raw(r, starts[i], "--", 2);
    }
    r->cursor = c;
    r->sel_start = a;
    r->sel_end = b;
    clamp_positions(r);
}

int get_char_cat(int c) {
    c &= 0xFF;
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') return 1;
    if (c != 0 && std::strchr("!#$%^&*(){}[]<>:;.,~=+-/\\`'\"@", c)) return 2;
    if (c >= 128) return 3;
    return 0;
}

void ctext_select_from_double_click(ctext *r, int offset) {
    if (!r) return;
    int len = text_len(r);
    offset = std::clamp(offset, 0, len);
    int a = offset, b = offset;
    if (offset < len) {
        int cat = get_char_cat((uint8_t)r->text[offset]);
        while (a > 0 && get_char_cat((uint8_t)r->text[a - 1]) == cat) a--;
        while (b < len && get_char_cat((uint8_t)r->text[b]) == cat) b++;
    }
    r->sel_start = a;
    r->sel_end = b;
    r->cursor = b;
    r->search_text[0] = 0;
    r->search_active = 0;
}

void ctext_select_from_triple_click(ctext *r, int offset) {
    if (!r) return;
    offset = std::clamp(offset, 0, text_len(r));
    int a = line_start_of(r->text, offset), b = line_end_of(r->text, offset);
    if (r->text[b]) b++;
    r->sel_start = a;
    r->sel_end = b;
    r->cursor = b;
    r->search_text[0] = 0;
    r->search_active = 0;
}

/*
** Forward search wraps to the first occurrence; backward search stops at the
** start of the text.
*/
int ctext_search_for_string(ctext *r, int direction) {
    if (!r || !r->search_text[0]) return 0;
    r->search_active = 1;
    clamp_positions(r);
    int n = (int)std::strlen(r->search_text);
    int found;
    if (direction >= 0) {
        int from = has_selection(r) ? sel_hi(r) : r->cursor;
        found = find_forward(r->text, from, r->search_text);
        if (found < 0) found = find_forward(r->text, 0, r->search_text);
    } else {
        int before = has_selection(r) ? sel_lo(r) : r->cursor;
        found = find_backward(r->text, before, r->search_text);
    }
    if (found < 0) return 0;
    r->cursor = found;
    r->sel_start = found;
    r->sel_end = found + n;
    ctext_bound_scrolling_to_cursor(r, 52);
    return 1;
}

int ctext_search_for_line(ctext *r) {
    if (!r) return 0;
    int line;
    if (std::sscanf(r->search_text, "%d", &line) != 1) return 0;
    r->cursor = ctext_get_pos_for_line_number(r->text, std::max(line, 1) - 1);
    collapse_selection(r);
    int fh = field_height(r);
    ctext_bound_scrolling_to_cursor(r, std::max(1, fh / 3));
    return 1;
}

int ctext_search_for_bookmark(ctext *r, int direction) {
    if (!r) return 0;
    clamp_positions(r);
    int best = -1;
    for (const char *needle : {"function ", "function\t"}) {
        int f = direction >= 0 ? find_forward(r->text, std::min(r->cursor + 1, text_len(r)), needle)
                               : find_backward(r->text, r->cursor, needle);
        if (f >= 0 && (best < 0 || (direction >= 0 ? f < best : f > best))) best = f;
    }
    if (best < 0) return 0;
    r->cursor = best;
    collapse_selection(r);
    return 1;
}

int start_of_block(ctext *r) {
    if (!r) return 0;
    clamp_positions(r);
    const char *t = r->text;
    int e = r->cursor;
    while (e > 0 && vull_is_blank(t[e - 1])) e--;
    int s = e;
    while (s > 0 && get_char_cat((uint8_t)t[s - 1]) == 1) s--;
    std::string word(t + s, t + e);
    if (word == "do" || word == "then" || word == "else") return 1;
    if (word == "repeat") return 2;
    if (t[r->cursor] && t[r->cursor] != '\n') return 0;
    int p = line_start_of(t, r->cursor);
    while (vull_is_blank(t[p])) p++;
    if (std::strncmp(t + p, "local ", 6) == 0) {
        p += 6;
        while (vull_is_blank(t[p])) p++;
    }
    return std::strncmp(t + p, "function", 8) == 0 ? 1 : 0;
}

// Word moves stop at the ends of the text.
int calculate_skip_steps(ctext *r, int direction) {
    if (!r) return 0;
    clamp_positions(r);
    int len = text_len(r), i = r->cursor;
    if (direction > 0) {
        if (i >= len) return 0;
        int cat = get_char_cat((uint8_t)r->text[i]);
        while (i < len && get_char_cat((uint8_t)r->text[i]) == cat) i++;
    } else {
        if (i <= 0) return 0;
        int cat = get_char_cat((uint8_t)r->text[i - 1]);
        while (i > 0 && get_char_cat((uint8_t)r->text[i - 1]) == cat) i--;
    }
    return i - r->cursor;
}

/* ---- drawing ------------------------------------------------------------- */

namespace {

// The glyph of a code in the font's set for the bitmap's depth; null when the
// set has none. Sets hold 256 glyphs, or 96 (codes 32-127) when the item
// count is not a multiple of 256.
vull_bitmap *font_glyph(cpod *font, int code, int bpp) {
    if (!font || font->count <= 0) return nullptr;
    int set_size = (font->count & 0xFF) ? 96 : 256;
    int first = set_size == 96 ? 32 : 0;
    if (code < first || code >= first + set_size) return nullptr;
    int sets = font->count / set_size, set = 0;
    for (int s = 0; s < sets; s++) {
        auto *g = (vull_bitmap *)cpod_get_item(font, s * set_size, CPOD_BITMAP);
        if (g && g->bpp == bpp) {
            set = s;
            break;
        }
    }
    return (vull_bitmap *)cpod_get_item(font, set * set_size + code - first, CPOD_BITMAP);
}

uint32_t depth_colour(const vull_bitmap *bmp, uint32_t rgb) {
    return bmp->bpp == 32 ? 0xFF000000u | (rgb & 0xFFFFFFu) : rgb;
}

} // namespace

/*
** Glyphs advance by the same widths the cursor and the mouse use, so the
** drawn text and the positions computed from it always agree.
*/
void draw_ctext(vull_bitmap *bmp, int x, int y, int w, int h, ctext *r) {
    if (!bmp || !r || w < 1 || h < 1) return;
    cpod *font = r->font ? r->font : vull_font2;
    vull_save_clip(bmp);
    int x0 = std::max(x, bmp->clip_x0), y0 = std::max(y, bmp->clip_y0);
    int x1 = std::min(x + w, bmp->clip_x1), y1 = std::min(y + h, bmp->clip_y1);
    if (x0 >= x1 || y0 >= y1) {
        vull_restore_clip(bmp);
        return;
    }
    vull_set_clip(bmp, x0, y0, x1, y1);
    vull_rectfill(bmp, x, y, x + w - 1, y + h - 1, depth_colour(bmp, FIELD_COLOUR));

    int lh = std::max(4, r->line_height);
    int px = 0, py = 0;
    for (int i = 0; r->text[i]; i++) {
        uint8_t c = (uint8_t)r->text[i];
        if (c == '\n') {
            px = 0;
            py += lh;
            continue;
        }
        int sx = x - r->scroll_x + px, sy = y - r->scroll_y + py;
        if (sy >= y1) break;
        vull_bitmap *g = font_glyph(font, c, bmp->bpp);
        if (g && sy + g->height > y0 && sx < x1)
            vull_draw_sprite(g, bmp, 0, 0, sx, sy, g->width, g->height);
        px += get_char_width(r, c, px);
    }

    bool focused = r->element && (r->element->flags & VULL_GUIF_FOCUS);
    if (focused && r->line_height >= 2 && (vull_get_time() & 256)) {
        int cx, cy;
        offset_to_xy(r, r->cursor, &cx, &cy);
        cy = cy / std::max(1, r->line_height) * lh; // rows drawn at the drawing's line pitch
        int sx = x - r->scroll_x + cx, sy = y - r->scroll_y + cy;
        vull_rectfill(bmp, sx, sy + 1, sx + std::max(1, r->char_width) - 1, sy + r->line_height - 1,
                      depth_colour(bmp, (uint32_t)r->cursor_colour));
    }
    vull_restore_clip(bmp);
}

/* ---- the GUI field --------------------------------------------------------- */

namespace {

constexpr uint32_t CTEXT_ELEMENT_TYPE = 4;
constexpr int DRAG_SCROLL_MS = 50;

ctext *record_of(vull_gui_element *e) {
    ctext *r = nullptr;
    if (e) std::memcpy(&r, e->user, sizeof r);
    return r;
}

bool key_hit(int scancode) { return vull_get_key_state(scancode) == 3; }

void select_all(ctext *r) {
    r->sel_start = 0;
    r->sel_end = r->cursor = text_len(r);
}

void move_vertically(ctext *r, int lines) {
    int line = ctext_get_line_number_for_pos(r->text, r->cursor) + lines;
    int last = ctext_get_line_number_for_pos(r->text, text_len(r));
    line = std::clamp(line, 0, last);
    r->cursor = line_x_to_cpos(r, ctext_get_pos_for_line_number(r->text, line), r->remembered_col);
    collapse_selection(r);
}

void insert_newline(ctext *r) {
    ctextfield_delete_selected(r);
    int block = vull_get_key_state(VULL_KEY_SHIFT) ? start_of_block(r) : 0;
    int ls = line_start_of(r->text, r->cursor);
    std::string ins = "\n";
    for (int i = ls; i < r->cursor && vull_is_blank(r->text[i]); i++) ins += r->text[i];
    vull_backup_ctext(r);
    if (!ctext_insert_text_ex(r, ins.c_str(), r->cursor, 1)) return;
    if (block == 1 && ctext_insert_text_ex(r, "\t\nend", r->cursor, 1)) r->cursor -= 3;
    if (block == 2 && ctext_insert_text_ex(r, "\t\nuntil ", r->cursor, 1)) r->cursor -= 6;
    collapse_selection(r);
}

// Tab on a selection indents (or with Shift unindents) every selected line.
void indent_selection(ctext *r, bool out) {
    vull_backup_ctext(r);
    std::vector<int> starts = selected_line_starts(r);
    if (!out && text_len(r) + (int)starts.size() > r->capacity) return;
    int a = r->sel_start, b = r->sel_end, c = r->cursor;
    for (size_t i = starts.size(); i-- > 0;) {
        int s = starts[i];
        int d;
        if (out) {
            if (!vull_is_blank(r->text[s])) continue;
            ctext_remove_text(r, s, 1);
            d = -1;
        } else {
            insert_raw(r, s, "\t", 1);
            d = 1;
        }
        // Positions after the line's start follow the text; one at the start
        // stays, so a selection from there takes in the new tab.
        auto move = [&](int &p) {
            if (p > s) p += d;
        };
        move(a);
        move(b);
        move(c);
    }
    r->sel_start = a;
    r->sel_end = b;
    r->cursor = c;
    clamp_positions(r);
}

/*
** The search box holds only its text, with no cursor of its own: Backspace
** and Delete take off the last character, and the arrow keys are kept from
** moving the field's cursor while the box is open.
*/
void search_box_key(ctext *r, int key, bool ctrl) {
    int n = (int)std::strlen(r->search_text);
    if (ctrl && key == 'v') {
        char *clip = vull_get_clipboard_text();
        if (!clip) return;
        char *g = convert_escaped_to_glyphs(clip, nullptr);
        vull_free(clip);
        for (int i = 0; g && g[i] && n < SEARCH_TYPED_MAX; i++)
            if (g[i] != '\n') r->search_text[n++] = g[i];
        r->search_text[n] = 0;
        vull_free(g);
        return;
    }
    if (key == 8 || key_hit(SC_DELETE)) {
        if (n > 0) r->search_text[n - 1] = 0;
    } else if (key == 13) {
        if (r->search_mode == 1)
            ctext_search_for_line(r);
        else if (n > 0)
            ctext_search_for_string(r, 1);
    } else if (key == 27) {
        r->search_box = 0;
    } else if (!ctrl) {
        // Typed codes 16-255; text input of a byte above 127 arrives negative.
        int c = key < 0 ? key + 256 : key;
        if (key != -1 && c >= 16 && c <= 255 && n < SEARCH_TYPED_MAX) {
            r->search_text[n] = (char)c;
            r->search_text[n + 1] = 0;
        }
    }
}

void open_search_box(ctext *r, int mode) {
    if (r->search_box) {
        r->search_box = 0;
        return;
    }
    r->search_box = 1;
    r->search_mode = mode;
    r->search_text[0] = 0;
    r->search_active = 1;
}

/*
** Keys read from the key state: arrows, Home, End, the page keys and Delete.
** A move drops the selection, so that the next typed key cannot replace text
** away from the cursor. True when the move was by lines, which keeps the
** remembered column.
*/
bool navigation_keys(ctext *r, bool ctrl, bool alt) {
    int rows = std::max(1, field_height(r) / std::max(1, r->line_height));
    int before = r->cursor;
    bool vertical = false;
    if (ctrl) {
        if (key_hit(SC_LEFT)) r->cursor += calculate_skip_steps(r, -1);
        if (key_hit(SC_RIGHT)) r->cursor += calculate_skip_steps(r, 1);
        if (key_hit(SC_UP) || key_hit(SC_HOME)) r->cursor = 0;
        if (key_hit(SC_DOWN) || key_hit(SC_END)) r->cursor = text_len(r);
    } else if (alt && (key_hit(SC_UP) || key_hit(SC_DOWN))) {
        if (ctext_search_for_bookmark(r, key_hit(SC_UP) ? -1 : 1))
            ctext_bound_scrolling_to_cursor(r, std::max(1, r->line_height));
        return false;
    } else {
        if (!alt && key_hit(SC_LEFT) && r->cursor > 0) r->cursor--;
        if (!alt && key_hit(SC_RIGHT) && r->cursor < text_len(r)) r->cursor++;
        if (key_hit(SC_HOME)) r->cursor = line_start_of(r->text, r->cursor);
        if (key_hit(SC_END)) r->cursor = line_end_of(r->text, r->cursor);
        if (key_hit(SC_UP)) move_vertically(r, -1), vertical = true;
        if (key_hit(SC_DOWN)) move_vertically(r, 1), vertical = true;
        if (key_hit(SC_PAGEUP)) move_vertically(r, -rows), vertical = true;
        if (key_hit(SC_PAGEDOWN)) move_vertically(r, rows), vertical = true;
        if (key_hit(SC_DELETE)) {
            if (!ctextfield_delete_selected(r)) {
                vull_backup_ctext_if_editing_newline(r);
                ctext_remove_text(r, r->cursor, 1);
            }
        }
    }
    clamp_positions(r);
    if (r->cursor != before) collapse_selection(r);
    return vertical;
}

void field_key(ctext *r, int key) {
    bool ctrl = vull_get_key_state(VULL_KEY_CTRL) != 0;
    bool alt = vull_get_key_state(VULL_KEY_ALT) != 0;
    bool shift = vull_get_key_state(VULL_KEY_SHIFT) != 0;
    clamp_positions(r);
    if (ctrl && (key == 'f' || key == 'i' || key == 'l')) {
        open_search_box(r, key == 'f' ? 0 : 1);
        return;
    }
    if (r->search_box) {
        search_box_key(r, key, ctrl);
        return;
    }
    bool vertical = navigation_keys(r, ctrl, alt);
    if (ctrl) {
        switch (key) {
        case 'a': select_all(r); break;
        case 'c': ctextfield_copy(r, 0); break;
        case 'x':
            ctextfield_copy(r, 0);
            ctextfield_delete_selected(r);
            break;
        case 'v':
            ctextfield_delete_selected(r);
            ctextfield_paste(r);
            break;
        case 'z':
            if (vull_get_key_state(SC_LSHIFT))
                ctext_redo(r);
            else
                ctext_undo(r);
            break;
        case 'y': ctext_redo(r); break;
        case 'd': ctext_duplicate_line(r); break;
        case 'b': toggle_block_comment(r); break;
        case '1': ctext_move_line(r, -1); break;
        case '2': ctext_move_line(r, 1); break;
        case 'w':
            r->cursor = line_start_of(r->text, r->cursor);
            collapse_selection(r);
            break;
        case 'e':
            r->cursor = line_end_of(r->text, r->cursor);
            collapse_selection(r);
            break;
        case 'g': ctext_search_for_string(r, 1); break;
        default: break;
        }
    } else if (key == 13 || key == 10) {
        insert_newline(r);
    } else if (key == 9) {
        if (has_selection(r))
            indent_selection(r, shift);
        else
            ctext_insert_character(r, '\t');
    } else if (key == 8) {
        if (!ctextfield_delete_selected(r) && r->cursor > 0) {
            vull_backup_ctext_if_editing_newline(r);
            ctext_remove_text(r, r->cursor - 1, 1);
            r->cursor--;
            collapse_selection(r);
        }
    } else if (key != 0 && key != -1 && key != 27) {
        ctextfield_delete_selected(r);
        ctext_insert_character(r, key & 0xFF);
    }
    clamp_positions(r);
    // Moves by lines keep the column they started from; anything else sets it.
    if (!vertical) set_remembered_col(r);
    ctext_bound_scrolling_to_cursor(r, 0);
}

} // namespace

int vull_gui_add_ctext_field(vull_bitmap *target, int x, int y, int w, int h, ctext *r) {
    if (!r) return -1;
    int slot = vull_add_guie(target, x, y, w, h, CTEXT_ELEMENT_TYPE, vhand_ctextfield);
    vull_gui_element *e = slot >= 0 ? vull_get_gui_element(slot) : nullptr;
    if (!e) return -1;
    std::memcpy(e->user, &r, sizeof r);
    r->element = e;
    vull_gui_set_keyboard_focus(e);
    return slot;
}

int vhand_ctextfield(vull_gui_element *e, int x, int y, int buttons, int message) {
    (void)buttons;
    ctext *r = record_of(e);
    if (!r) return 0;
    last_ctext_width = e->width;
    last_ctext_height = e->height;
    // The byte under the pointer, in text coordinates.
    auto under = [&]() {
        return vull_get_ctextfield_pos_for_cursor(r, x - e->x + r->scroll_x,
                                                  y - e->y + r->scroll_y);
    };
    bool shift = vull_get_key_state(VULL_KEY_SHIFT) != 0;
    switch (message) {
    case VULL_GUIM_PRESS:
        vull_backup_ctext(r);
        vull_gui_set_keyboard_focus(e);
        double_clicked = 0;
        if (shift) {
            r->cursor = r->sel_end = under();
        } else {
            r->cursor = r->sel_start = r->sel_end = under();
        }
        set_remembered_col(r);
        break;
    case VULL_GUIM_RELEASE: vull_backup_ctext(r); break;
    case VULL_GUIM_CLICK:
        vull_backup_ctext(r);
        if (!shift && !double_clicked) {
            r->cursor = under();
            set_remembered_col(r);
        }
        break;
    case VULL_GUIM_DRAG: {
        if (double_clicked) break;
        // Past the top or bottom edge the view follows, one line at a time.
        int now = vull_get_time();
        if ((y < e->y || y >= e->y + e->height) &&
            vull_ms_between(last_ctext_drag_scroll_t, now) >= DRAG_SCROLL_MS) {
            int step = std::max(4, r->line_height);
            r->scroll_y = std::max(0, r->scroll_y + (y < e->y ? -step : step));
            last_ctext_drag_scroll_t = now;
        }
        r->cursor = r->sel_end = under();
        set_remembered_col(r);
        break;
    }
    case VULL_GUIM_DOUBLE_CLICK:
        double_clicked = 1;
        ctext_select_from_double_click(r, under());
        break;
    case VULL_GUIM_DOUBLE_PRESS:
        double_clicked = 1;
        ctext_select_from_triple_click(r, under());
        break;
    case VULL_GUIM_WHEEL:
        // x and y carry the wheel movement here.
        r->scroll_y = std::max(0, r->scroll_y - y * 2 * std::max(4, r->line_height));
        break;
    case VULL_GUIM_KEY: field_key(r, x); break;
    case CTEXT_GUIM_DRAW: draw_ctext(e->target, e->x, e->y, e->width, e->height, r); break;
    default: break;
    }
    clamp_positions(r);
    return 0;
}
