// Editor remnants: the player has no editors, but the runtime still calls their
// hooks, and the buffers, clipboards and undo snapshots keep the contracts an
// editor would rely on.
#include "cart/editor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "cart/cart.h"
#include "cart/textcode.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/undo.h"
#include "platform/system.h"

zibo6_editor_state zedit = {};

namespace {

constexpr int MESSAGE_MS = 2000;
constexpr int NOTE_FIELDS = 6; // pitch, octave, instrument, volume, effect, custom
constexpr uint8_t EMPTY_CELL = 255;
constexpr int KIND_MAP = 1, KIND_SHEET = 0;
constexpr int SNAPSHOT_FLAG_BYTES = 256; // flags of sprites 0-63 (int32 each)

void message(const char *format, int a, int b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    cart_hooks.show_message(text, MESSAGE_MS);
}

zibo6_cart *working_cart() { return pitem.cart; }

bool same_size(const vull_bitmap *a, const vull_bitmap *b) {
    return a && b && a->width == b->width && a->height == b->height && a->bpp == b->bpp &&
           a->pixels && b->pixels;
}

int pixel_bytes(const vull_bitmap *bmp) { return bmp->width * bmp->height * (bmp->bpp >> 3); }

void copy_pixels(const vull_bitmap *src, vull_bitmap *dst) {
    if (same_size(src, dst)) std::memcpy(dst->pixels, src->pixels, size_t(pixel_bytes(src)));
}

bool sfx_equal(const zibo6_sfx &a, const zibo6_sfx &b) {
    const auto *x = reinterpret_cast<const vull_atomic_int *>(&a);
    const auto *y = reinterpret_cast<const vull_atomic_int *>(&b);
    for (size_t i = 0; i < sizeof(zibo6_sfx) / 4; i++)
        if (x[i] != y[i]) return false;
    return true;
}

// An editor bitmap into a snapshot: its bytes, or zeros standing for one not made.
void put_editor_bitmap(cbuffer *buf, const vull_bitmap *editor, int bytes) {
    if (editor && editor->pixels && pixel_bytes(editor) == bytes)
        cbuffer_add_data(buf, editor->pixels, bytes);
    else
        vull_fwrite(nullptr, 1, bytes, buf);
}

void get_editor_bitmap(cbuffer *buf, vull_bitmap *editor, int bytes) {
    if (editor && editor->pixels && pixel_bytes(editor) == bytes)
        vull_fread(editor->pixels, 1, bytes, buf);
    else
        buf->position += std::min(bytes, std::max(0, buf->length - buf->position));
}

} // namespace

/* ---- hooks ---- */

void move_keyboard_cursor() {}
void draw_code_tab_preview() {}
void invalidate_capacity_cache() {}
void set_code_tab(int tab) { (void)tab; }
void calculate_dormant_tokens() {}
void invalidate_ctext_colors() {}
void flush_activity_log_buffer() {}
void log_activity() {}
int load_splash_bmp() { return 0; }

/* ---- the shared half ---- */

void sync_shared_gfx_to_map(zibo6_cart *cart) {
    if (!cart || !cart->map || !cart->sprites) return;
    for (int r = 32; r < ZIBO6_MAP_HEIGHT; r++) {
        for (int c = 0; c < ZIBO6_MAP_WIDTH; c++) {
            const uint8_t *px = &cart->sprites->rows[64 + 2 * (r - 32) + (c >> 6)][2 * (c % 64)];
            cart->map->rows[r][c] = uint8_t((px[0] & 15) | (px[1] & 15) << 4);
        }
    }
}

void sync_shared_map_to_gfx(zibo6_cart *cart) {
    if (!cart || !cart->map || !cart->sprites) return;
    for (int r = 32; r < ZIBO6_MAP_HEIGHT; r++) {
        for (int c = 0; c < ZIBO6_MAP_WIDTH; c++) {
            uint8_t cell = cart->map->rows[r][c];
            uint8_t *px = &cart->sprites->rows[64 + 2 * (r - 32) + (c >> 6)][2 * (c % 64)];
            px[0] = cell & 15;
            px[1] = uint8_t(cell >> 4);
        }
    }
}

void backup_gfx() {
    zibo6_cart *cart = working_cart();
    if (!cart || !cart->sprites) return;
    vull_undo_stack *stack = cart->undo[ZIBO6_UNDO_SPRITES];
    if (stack) {
        const vull_bitmap *s = cart->sprites;
        bool has_state = stack->current_state && stack->current_state->length > 0;
        int compare = has_state ? s->width * s->height * 2 + 260 : -4;
        cbuffer *state = create_undo_bmp_state(s, 0);
        if (state) vull_push_undo_state(state, stack, compare);
    }
    if (!zedit.gfx_backup) zedit.gfx_backup = create_dbmp(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE);
    if (zedit.gfx_backup) backup_bmp(cart->sprites, zedit.gfx_backup);
}

/* ---- backup records ---- */

zibo6_dbmp *create_dbmp(int width, int height) {
    auto *r = static_cast<zibo6_dbmp *>(vull_calloc(sizeof(zibo6_dbmp)));
    if (!r) return nullptr;
    r->work = vull_create_bitmap(width, height, 8);
    r->backup = vull_create_bitmap(width, height, 8);
    r->second = vull_create_bitmap(width, height, 8);
    if (!r->work || !r->backup || !r->second) {
        destroy_dbmp(r);
        return nullptr;
    }
    return r;
}

void destroy_dbmp(zibo6_dbmp *record) {
    if (!record) return;
    if (zedit.gfx_backup == record) zedit.gfx_backup = nullptr;
    vull_destroy_bitmap(record->work);
    vull_destroy_bitmap(record->backup);
    vull_destroy_bitmap(record->second);
    vull_free(record);
}

void backup_bmp(vull_bitmap *bmp, zibo6_dbmp *record) {
    if (!bmp || !record) return;
    copy_pixels(bmp, record->backup);
    copy_pixels(record->work, record->second);
    zibo6_cart *cart = working_cart();
    if (record == zedit.gfx_backup && cart)
        std::copy(std::begin(cart->sprite_flags), std::end(cart->sprite_flags),
                  record->sprite_flags);
}

void restore_bmp(vull_bitmap *bmp, zibo6_dbmp *record) {
    if (!record || !same_size(bmp, record->backup)) return;
    std::swap_ranges(bmp->pixels, bmp->pixels + pixel_bytes(bmp), record->backup->pixels);
    zibo6_cart *cart = working_cart();
    if (record == zedit.gfx_backup && cart)
        std::swap_ranges(std::begin(cart->sprite_flags), std::end(cart->sprite_flags),
                         record->sprite_flags);
    vull_clear_bitmap(record->work);
}

zibo6_audio_buffer *create_audio_buffer() {
    auto *b = static_cast<zibo6_audio_buffer *>(vull_calloc(sizeof(zibo6_audio_buffer)));
    if (!b) return nullptr;
    b->data = vull_create_zibo6_cart();
    if (!b->data) {
        vull_free(b);
        return nullptr;
    }
    b->first = b->last = -1;
    return b;
}

void destroy_audio_buffer(zibo6_audio_buffer *buffer) {
    if (!buffer) return;
    vull_destroy_zibo6_cart(buffer->data);
    vull_free(buffer);
}

void backup_audio(const zibo6_cart *cart, zibo6_audio_buffer *buffer) {
    if (!cart || !buffer) return;
    zibo6_cart *d = buffer->data;
    std::copy(std::begin(cart->sfx), std::end(cart->sfx), d->sfx);
    for (int p = 0; p < ZIBO6_PATTERN_COUNT; p++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) d->music[p][c] = cart->music[p][c];
        d->pattern_flags[p] = cart->pattern_flags[p];
    }
    buffer->sfx_count = ZIBO6_SFX_COUNT;
    buffer->pattern_count = ZIBO6_PATTERN_COUNT;
}

void backup_sfx() {}

void restore_sfx(zibo6_sfx *sfx, zibo6_audio_buffer *buffer, int index) {
    if (!sfx || !buffer || index < 0 || index >= ZIBO6_SFX_COUNT) return;
    std::swap(*sfx, buffer->data->sfx[index]);
}

void restore_audio(zibo6_cart *cart, zibo6_audio_buffer *buffer) {
    if (!cart || !buffer) return;
    zibo6_cart *d = buffer->data;
    std::swap_ranges(std::begin(cart->sfx), std::end(cart->sfx), d->sfx);
    for (int p = 0; p < ZIBO6_PATTERN_COUNT; p++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) std::swap(cart->music[p][c], d->music[p][c]);
        std::swap(cart->pattern_flags[p], d->pattern_flags[p]);
    }
}

/* ---- clipboards ---- */

void do_copy_sfx(const zibo6_sfx *sfx, const vull_bitmap *selection) {
    if (!sfx) return;
    if (!zedit.note_clipboard)
        zedit.note_clipboard = vull_create_bitmap(NOTE_FIELDS, ZIBO6_NOTE_COUNT, 8);
    vull_bitmap *clip = zedit.note_clipboard;
    if (!clip) return;
    vull_set_clipboard_text("");
    std::memset(clip->pixels, EMPTY_CELL, size_t(pixel_bytes(clip)));
    int copied = 0;
    for (int n = 0; n < ZIBO6_NOTE_COUNT; n++) {
        const zibo6_note &note = sfx->note[n];
        const int fields[NOTE_FIELDS] = {note.pitch % 12, note.pitch / 12, note.instrument,
                                         note.volume, note.effect, note.custom};
        bool any = false;
        for (int f = 0; f < NOTE_FIELDS; f++) {
            bool chosen = !selection || (selection->pixels && f < selection->width &&
                                         n < selection->height && selection->rows[n][f]);
            if (!chosen) continue;
            clip->rows[n][f] = uint8_t(fields[f]);
            any = true;
        }
        copied += any;
    }
    message("copied %d notes", copied);
}

void do_paste_sfx(zibo6_sfx *sfx, int at) {
    vull_bitmap *clip = zedit.note_clipboard;
    if (!sfx || !clip || at < 0) return;
    int pasted = 0;
    for (int n = 0; n < ZIBO6_NOTE_COUNT && at + n < ZIBO6_NOTE_COUNT; n++) {
        const uint8_t *cell = clip->rows[n];
        zibo6_note &note = sfx->note[at + n];
        bool any = false;
        int pitch = note.pitch;
        if (cell[0] != EMPTY_CELL) pitch = pitch / 12 * 12 + cell[0], any = true;
        if (cell[1] != EMPTY_CELL) pitch = pitch % 12 + cell[1] * 12, any = true;
        note.pitch = std::clamp(pitch, 0, 63);
        if (cell[2] != EMPTY_CELL) note.instrument = cell[2] & 7, any = true;
        if (cell[3] != EMPTY_CELL) note.volume = cell[3] & 7, any = true;
        if (cell[4] != EMPTY_CELL) note.effect = cell[4] & 7, any = true;
        if (cell[5] != EMPTY_CELL) note.custom = cell[5] ? 128 : 0, any = true;
        pasted += any;
    }
    message("pasted %d notes", pasted);
}

void do_copy_sfxes(const zibo6_cart *cart, zibo6_audio_buffer *buffer, int first, int last,
                   int mark) {
    if (!cart || !buffer) return;
    first = std::clamp(first, 0, ZIBO6_SFX_COUNT - 1);
    last = std::clamp(last, first, ZIBO6_SFX_COUNT - 1);
    int n = last - first + 1;
    for (int i = 0; i < n; i++) buffer->data->sfx[i] = cart->sfx[first + i];
    buffer->sfx_count = n;
    buffer->pattern_count = 0;
    buffer->first = first;
    buffer->last = last;
    convert_sfxes_to_bbs_code(buffer->data, n, nullptr, 0);
    zedit.move_marked = mark != 0;
    zedit.move_first = first;
    zedit.move_last = last;
    if (mark)
        message("marked %d sfx to move", n);
    else if (n == 1)
        message("copied sfx %d", first);
    else
        message("copied sfxes %d..%d", first, last);
}

void do_paste_sfxes(zibo6_audio_buffer *buffer, zibo6_cart *cart, int at) {
    if (!buffer || !cart || at < 0 || at >= ZIBO6_SFX_COUNT) return;
    int n = std::min(buffer->sfx_count, ZIBO6_SFX_COUNT - at);
    bool moving = zedit.move_marked;
    if (moving) {
        zibo6_cart *blank = vull_create_zibo6_cart();
        for (int i = zedit.move_first; blank && i <= zedit.move_last; i++) cart->sfx[i] = blank->sfx[i];
        vull_destroy_zibo6_cart(blank);
    }
    for (int i = 0; i < n; i++) cart->sfx[at + i] = buffer->data->sfx[i];
    if (moving) {
        // Channels that played a moved sfx follow it; the bits above the number stay.
        for (auto &pattern : cart->music) {
            for (auto &ch : pattern) {
                int s = ch & 63;
                if ((ch & 64) || s < zedit.move_first || s > zedit.move_last) continue;
                int to = at + s - zedit.move_first;
                if (to < ZIBO6_SFX_COUNT) ch = (ch & ~63) | to;
            }
        }
        zedit.move_marked = 0;
    }
    message("pasted %d sfx", n);
}

void do_copy_patterns(zibo6_cart *cart, zibo6_audio_buffer *buffer, int first, int last, int cut) {
    if (!cart || !buffer) return;
    first = std::clamp(first, 0, ZIBO6_PATTERN_COUNT - 1);
    last = std::clamp(last, first, ZIBO6_PATTERN_COUNT - 1);
    int n = last - first + 1;
    zibo6_cart *d = buffer->data;
    std::copy(std::begin(cart->sfx), std::end(cart->sfx), d->sfx);
    for (int i = 0; i < n; i++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) d->music[i][c] = cart->music[first + i][c];
        d->pattern_flags[i] = cart->pattern_flags[first + i];
    }
    buffer->sfx_count = ZIBO6_SFX_COUNT;
    buffer->pattern_count = n;
    convert_patterns_to_bbs_code(d, n, nullptr, 0);
    if (cut) {
        for (int i = first; i <= last; i++) {
            for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) cart->music[i][c] = 0x81 + c;
            cart->pattern_flags[i] = 0;
        }
        message("cut %d patterns", n);
    } else {
        message("copied %d patterns", n);
    }
}

void do_paste_patterns(zibo6_audio_buffer *buffer, zibo6_cart *cart, int at) {
    if (!buffer || !cart || at < 0 || at >= ZIBO6_PATTERN_COUNT) return;
    int n = std::min(buffer->pattern_count, ZIBO6_PATTERN_COUNT - at);
    int added = 0;
    for (int i = 0; i < n; i++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) {
            int s = buffer->data->music[i][c];
            int target = s;
            if (s >= 0 && s < ZIBO6_SFX_COUNT) {
                // The cart's own copy of this sfx, else the first empty slot.
                const zibo6_sfx &want = buffer->data->sfx[s];
                target = -1;
                for (int j = 0; j < ZIBO6_SFX_COUNT && target < 0; j++)
                    if (sfx_equal(cart->sfx[j], want)) target = j;
                for (int j = 0; j < ZIBO6_SFX_COUNT && target < 0; j++) {
                    if (!zibo6_sfx_is_empty(cart, j)) continue;
                    cart->sfx[j] = want;
                    target = j;
                    added++;
                }
                if (target < 0) target = 0x40 | s; // no room: the channel stays off
            }
            cart->music[at + i][c] = target;
        }
        cart->pattern_flags[at + i] = buffer->data->pattern_flags[i];
    }
    message("pasted %d patterns, added %d sfx", n, added);
}

void get_selected_area(int x0, int y0, int x1, int y1, int *left, int *top, int *right,
                       int *bottom) {
    *left = std::min(x0, x1);
    *right = std::max(x0, x1);
    *top = std::min(y0, y1);
    *bottom = std::max(y0, y1);
}

int selection_active(const vull_bitmap *bmp) {
    if (!bmp || !bmp->pixels) return 0;
    const uint8_t *p = bmp->pixels;
    return std::any_of(p, p + pixel_bytes(bmp), [](uint8_t b) { return b != 0; });
}

/* ---- undo snapshots ---- */

cbuffer *create_undo_sfx64_state(const zibo6_cart *cart) {
    cbuffer *buf = vull_create_buffer(8192);
    if (!buf || !cart) return buf;
    for (const zibo6_sfx &s : cart->sfx) {
        const auto *w = reinterpret_cast<const vull_atomic_int *>(&s);
        for (size_t i = 0; i < sizeof(zibo6_sfx) / 4; i++) vull_fwrite_int32(w[i], buf);
    }
    for (const auto &pattern : cart->music)
        for (const auto &ch : pattern) vull_fwrite_int32(ch, buf);
    for (const auto &f : cart->pattern_flags) vull_fwrite_int32(f, buf);
    for (int i = 0; i < 4; i++) vull_fwrite_int32(cart->sprite_flags[i], buf); // the 16 bytes after
    for (int w : zedit.sfx_words) vull_fwrite_int32(w, buf);
    vull_fwrite_int32(zedit.view, buf);
    for (int w : zedit.view_words) vull_fwrite_int32(w, buf);
    return buf;
}

int restore_undo_sfx64_state(cbuffer *buffer, zibo6_cart *cart) {
    if (!buffer || !cart) return 0;
    buffer->position = 0;
    for (zibo6_sfx &s : cart->sfx) {
        auto *w = reinterpret_cast<vull_atomic_int *>(&s);
        for (size_t i = 0; i < sizeof(zibo6_sfx) / 4; i++) w[i] = vull_fread_int32(buffer);
    }
    for (auto &pattern : cart->music)
        for (auto &ch : pattern) ch = vull_fread_int32(buffer);
    for (auto &f : cart->pattern_flags) f = vull_fread_int32(buffer);
    for (int i = 0; i < 4; i++) cart->sprite_flags[i] = vull_fread_int32(buffer);
    for (int &w : zedit.sfx_words) w = vull_fread_int32(buffer);
    zedit.view = vull_fread_int32(buffer); // the player has no other view to switch to
    for (int &w : zedit.view_words) w = vull_fread_int32(buffer);
    return 1;
}

cbuffer *create_undo_bmp_state(const vull_bitmap *bmp, int value) {
    if (!bmp || !bmp->pixels) return nullptr;
    int bytes = pixel_bytes(bmp);
    cbuffer *buf = vull_create_buffer(bytes * 2 + 1024);
    if (!buf) return nullptr;
    cbuffer_add_data(buf, bmp->pixels, bytes);
    zibo6_cart *cart = working_cart();
    if (cart && bmp == cart->map) {
        vull_fwrite_int32(KIND_MAP, buf);
        put_editor_bitmap(buf, zedit.map_edit, bytes);
        for (int w : zedit.map_words) vull_fwrite_int32(w, buf);
    } else if (cart && bmp == cart->sprites) {
        vull_fwrite_int32(KIND_SHEET, buf);
        cbuffer_add_data(buf, cart->sprite_flags, SNAPSHOT_FLAG_BYTES);
        put_editor_bitmap(buf, zedit.gfx_backup ? zedit.gfx_backup->work : nullptr, bytes);
        for (int w : zedit.sprite_words) vull_fwrite_int32(w, buf);
    }
    vull_fwrite_int32(value, buf);
    return buf;
}

int restore_undo_bmp_state(cbuffer *buffer, vull_bitmap *bmp, vull_undo_stack *stack) {
    if (!buffer || !bmp || !bmp->pixels) return 0;
    int bytes = pixel_bytes(bmp);
    buffer->position = 0;
    cbuffer *patch = stack ? stack->last_patch : nullptr;
    if (patch && patch->length >= 12) {
        // Only the bytes the last patch changed: range s .. a - c - 1, one bit a byte.
        patch->position = 0;
        int64_t a = vull_fread_uint32(patch), s = vull_fread_uint32(patch),
                c = vull_fread_uint32(patch);
        const uint8_t *bits = patch->data + 12;
        int64_t bit_bytes = patch->length - 12;
        for (int64_t i = 0; s + i < a - c && i / 8 < bit_bytes; i++) {
            int64_t at = s + i;
            if (!(bits[i / 8] >> (i % 8) & 1) || at >= bytes || at >= buffer->length) continue;
            bmp->pixels[at] = buffer->data[at];
        }
    }
    buffer->position = std::min(bytes, buffer->length);
    int kind = vull_fread_int32(buffer);
    zibo6_cart *cart = working_cart();
    // A snapshot of another bitmap holds no editor state: the word is the caller's value.
    if (!cart || (bmp != cart->map && bmp != cart->sprites)) return kind;
    if (kind == KIND_MAP) {
        get_editor_bitmap(buffer, zedit.map_edit, bytes);
        for (int &w : zedit.map_words) w = vull_fread_int32(buffer);
    } else if (kind == KIND_SHEET) {
        vull_fread(cart->sprite_flags, 1, SNAPSHOT_FLAG_BYTES, buffer);
        get_editor_bitmap(buffer, zedit.gfx_backup ? zedit.gfx_backup->work : nullptr, bytes);
        for (int &w : zedit.sprite_words) w = vull_fread_int32(buffer);
    }
    return vull_fread_int32(buffer);
}
