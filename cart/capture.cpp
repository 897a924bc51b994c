// Frame clip and GIF writer. The GIF is written through giflib's record-by-record
// calls, so the only giflib allocations belong to the file handle.
#include "cart/capture.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/system.h"

int video_clip_index = 0;

namespace {

constexpr int FRAME = 128;
constexpr int TRANSPARENT = 17;
vull_bitmap *video_clip[VIDEO_CLIP_SLOTS]; // each made when first recorded into, then kept

// Every slot's row table and pixels lie in one block of zero pages, made when the
// clip first records and kept; the system may back it with large pages, so
// filling the clip takes a few page faults rather than several a frame. Only
// what the clip reaches is ever touched.
constexpr int SLOT_BYTES = FRAME * int(sizeof(uint8_t *)) + FRAME * FRAME;
static_assert(int64_t(SLOT_BYTES) * VIDEO_CLIP_SLOTS < (int64_t(1) << 30), "one block");
uint8_t *clip_block;
vull_bitmap clip_records[VIDEO_CLIP_SLOTS];

// The record of the next slot not in use yet, or null without memory.
vull_bitmap *make_slot() {
    static int made;
    if (!clip_block)
        clip_block = static_cast<uint8_t *>(vull_calloc_pages(SLOT_BYTES * VIDEO_CLIP_SLOTS, true));
    if (!clip_block || made >= VIDEO_CLIP_SLOTS) return nullptr;
    uint8_t *base = clip_block + int64_t(made) * SLOT_BYTES;
    vull_bitmap &b = clip_records[made++];
    b.width = b.height = FRAME;
    b.bpp = 8;
    b.rows = reinterpret_cast<uint8_t **>(base);
    b.pixels = base + FRAME * sizeof(uint8_t *);
    for (int y = 0; y < FRAME; y++) b.rows[y] = b.pixels + y * FRAME;
    b.clip_x1 = b.clip_y1 = FRAME;
    return &b;
}

// Slots in use: the config value is unbounded, so it is clamped here; 0 or less is off.
int clip_limit() {
    if (app.gif_len <= 0) return 0;
    return std::min(app.gif_len, GIF_LEN_MAX) * 30;
}

struct gif_block {
    const void *bytes;
    int length;
};

// One extension: its code, its data blocks, the terminator.
bool put_extension(GifFileType *gif, int function, std::initializer_list<gif_block> blocks) {
    if (EGifPutExtensionLeader(gif, function) != GIF_OK) return false;
    for (const gif_block &b : blocks)
        if (EGifPutExtensionBlock(gif, b.length, b.bytes) != GIF_OK) return false;
    return EGifPutExtensionTrailer(gif) == GIF_OK;
}

// Writes the clip record by record: the screen with its colour map, then per frame its
// extensions, descriptor and rows. Nothing is held per frame (one row buffer), and
// giflib's output goes to the new file as it is made.
int append_gif_bytes(GifFileType *gif, const GifByteType *bytes, int n) {
    return vull_save_write(static_cast<vull_save *>(gif->UserData), bytes, n) == 0 ? n : 0;
}

// giflib copies the colour map it is given, so no path leaves an allocation behind.
bool write_gif(GifFileType *gif, int scale, int frames) {
    const int size = FRAME * scale;
    int colours = 18;
    for (int k = 0; k < frames && colours == 18; k++)
        for (int i = 0; i < FRAME * FRAME; i++)
            if (video_clip[k]->pixels[i] >= 16) {
                colours = 256;
                break;
            }
    GifColorType entries[256] = {};
    const vull_rgb *display = cart_display_colours();
    for (int i = 0; i < colours; i++) entries[i] = {display[i].r, display[i].g, display[i].b};
    ColorMapObject *map = GifMakeMapObject(1 << GifBitSize(colours), entries);
    if (!map) return false;

    static const unsigned char loop[3] = {1, 0, 0};
    static const unsigned char control[4] = {1, 3, 0, TRANSPARENT};
    std::vector<GifPixelType> row(static_cast<size_t>(size));
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, size, size, GifBitSize(colours), 0, map) == GIF_OK;
    for (int k = 0; k < frames && ok; k++) {
        if (k == 0) // loop forever
            ok = put_extension(gif, APPLICATION_EXT_FUNC_CODE,
                               {{"NETSCAPE2.0", 11}, {loop, sizeof loop}});
        ok = ok && put_extension(gif, GRAPHICS_EXT_FUNC_CODE, {{control, sizeof control}});
        // giflib drops the previous image's local map when the next has none, unfreed
        if (k > 0 && gif->Image.ColorMap) {
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        ok = ok && EGifPutImageDesc(gif, 0, 0, size, size, false, k == 0 ? map : nullptr) == GIF_OK;
        const vull_bitmap *cur = video_clip[k], *prev = k > 0 ? video_clip[k - 1] : nullptr;
        // Each clip row is stretched once and given for its scale output rows (giflib only
        // masks a row to its bits per pixel, which leaves these values as they are).
        for (int y = 0; y < FRAME && ok; y++) {
            const uint8_t *c = cur->rows[y], *p = prev ? prev->rows[y] : nullptr;
            for (int x = 0; x < FRAME; x++) {
                bool same = p && p[x] == c[x];
                std::memset(&row[size_t(x * scale)], same ? TRANSPARENT : c[x] % colours,
                            size_t(scale));
            }
            for (int r = 0; r < scale && ok; r++)
                ok = EGifPutLine(gif, row.data(), size) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    return ok;
}

} // namespace

void record_video_frame(const vull_bitmap *screen) {
    int limit = clip_limit();
    if (limit == 0 || !screen || screen->bpp != 8 || !screen->rows) return;
    int last = limit - 1;
    video_clip_index = std::min(video_clip_index, last); // gif_len may have shrunk
    // Each slot is made when the clip first reaches it, so a short run pays for the
    // frames it records, not for the whole clip; every slot before the index exists.
    vull_bitmap *&slot = video_clip[video_clip_index];
    if (!slot && !(slot = make_slot())) return;
    // Row by row; what the screen does not cover is 0.
    int w = std::clamp(screen->width, 0, FRAME), h = std::clamp(screen->height, 0, FRAME);
    for (int y = 0; y < FRAME; y++) {
        int copied = y < h ? w : 0;
        if (copied) std::memcpy(slot->rows[y], screen->rows[y], size_t(copied));
        std::memset(slot->rows[y] + copied, 0, size_t(FRAME - copied));
    }
    cart_hooks.draw_extpal_glitch_if_running(slot);
    if (video_clip_index < last) {
        video_clip_index++;
    } else {
        // Roll: the oldest bitmap becomes the slot the next frame overwrites.
        std::rotate(video_clip, video_clip + 1, video_clip + limit);
    }
}

vull_bitmap *shown_screen() {
    vull_bitmap *screen = pstate.display[0];
    if (!screen) return nullptr;
    if (!app.video_frame) app.video_frame = vull_create_bitmap(FRAME, FRAME, 8);
    vull_bitmap *frame = app.video_frame;
    if (!frame) return nullptr;
    uint8_t shown[16];
    for (int c = 0; c < 16; c++) {
        int v = cart_hooks.zibo6_peek(&pstate, nullptr, 0x5f10 + c);
        shown[c] = uint8_t((v & 128) ? 128 + (v & 15) : (v & 15));
    }
    for (int y = 0; y < FRAME && y < screen->height; y++)
        for (int x = 0; x < FRAME && x < screen->width; x++)
            frame->rows[y][x] = shown[screen->rows[y][x] & 15];
    return frame;
}

const vull_bitmap *video_clip_frame(int i) {
    return i >= 0 && i < VIDEO_CLIP_SLOTS ? video_clip[i] : nullptr;
}

void record_screen_frame() { record_video_frame(shown_screen()); }

void reset_video() {
    video_clip_index = 0;
    app.rec_frames = 0;
}

int get_current_gif_len() { return (video_clip_index + 15) / 30; }

int save_gif(int scale, int to_output_folder) {
    if (video_clip_index <= 0) return 9;
    // An explicit scale wins; else the setting, clamped, with 0 meaning 1.
    if (scale < 1) scale = std::clamp(app.gif_scale, 0, GIF_SCALE_MAX);
    scale = std::clamp(scale, 1, GIF_SCALE_MAX);
    const int frames = video_clip_index;

    char path[VULL_PATH_LEN] = {0};
    int error = 0;
    bool named = next_output_path(".gif", to_output_folder, path, sizeof path);
    // The clip goes to the one writer's new file as it is encoded, so memory holds a row,
    // not the file: a clip that fails leaves no part of itself, and a file of the same name
    // keeps its bytes.
    vull_save *out = named ? vull_save_begin(path) : nullptr;
    GifFileType *gif = out ? EGifOpen(out, append_gif_bytes, &error) : nullptr;
    if (!gif) {
        vull_debugf("** EGifOpen error %d: %s\n", error, path);
        vull_save_end(out, false);
        return 1;
    }
    vull_debugf("saving gif to: %s\n", path);
    bool ok = write_gif(gif, scale, frames);
    // The handle owns everything giflib made for it; closing frees it on every path.
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    ok = vull_save_end(out, ok) == 0 && ok;
    if (!ok) {
        vull_debugf("** EGifSpew() GIF_ERROR\n");
        return 1;
    }
    return 0;
}

void set_cart_label(const vull_bitmap *screen) {
    zibo6_cart *cart = pitem.cart;
    if (!cart || !screen || screen->bpp != 8) return;
    vull_bitmap *label = vull_create_bitmap(FRAME, FRAME, 8);
    if (!label) return;
    for (int y = 0; y < FRAME && y < screen->height; y++)
        for (int x = 0; x < FRAME && x < screen->width; x++) label->rows[y][x] = screen->rows[y][x];
    vull_destroy_bitmap(cart->label);
    cart->label = label;
}
