// Screen, window and presentation: the back page and the screen record, the
// window's modes and sizes, the placement and scaling of the page in the
// window, the fps meter, and handing each frame to the back end.
//
// The back page is presented once a frame: an 8-bit page is first turned into
// 32-bit colour through the engine palette, then the back end puts it into the
// window (platform/backend.h).
#include "platform/video.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/backend.h"
#include "platform/system.h"

vull_bitmap vull_screen_actual;
vull_bitmap *vull_screen = &vull_screen_actual;
vull_bitmap *vull_back_page;
vull_palette_rec *vull_palette;
vull_palette_rec *vull_black_palette;

int desktop_w, desktop_h;
int vull_screen_mode;
int vull_system_active;
int vull_video_inited;

static vull_bitmap *bmp32; // 32-bit copy of an 8-bit page being presented

// The engine's options and state the video reads, where they are.
static const vull_plat_settings &cfg = vull_plat_config;

static int frame_start_t;    // ms, start of the frame being measured
static int32_t smoothed_fps; // 16.16

static const vull_video_funcs &eng = vull_video_engine;

static bool headless_or_framebuffer() {
    return vull_plat_get(cfg.headless) || vull_plat_get(cfg.framebuffer);
}

/* ---- video start and exit -------------------------------------------- */

int vull_video_init() {
    if (vull_video_inited) return 0;
    vull_video_inited = 1;
    vull_palette = eng.create_palette();
    if (vull_palette)
        for (int i = 0; i < 256; i++) vull_palette->entry[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    vull_black_palette = eng.create_palette();
    if (!vull_plat_get(cfg.headless)) vull_video_init_plat();
    return 0;
}

int vull_video_exit() {
    if (!vull_video_inited) return 0;
    vull_video_inited = 0;
    eng.destroy_bitmap(vull_back_page);
    vull_back_page = nullptr;
    eng.cursor_exit();
    eng.destroy_palette(vull_palette);
    eng.destroy_palette(vull_black_palette);
    vull_palette = vull_black_palette = nullptr;
    eng.destroy_bitmap(bmp32);
    bmp32 = nullptr;
    eng.preblit_exit();
    if (!vull_plat_get(cfg.headless)) vull_video_exit_plat();
    return 0;
}

/* ---- screen set-up --------------------------------------------------- */

int vull_set_screen(int width, int height, int depth, int flags) {
    vull_plat_logf("vull_set_screen %d %d %d %x\n", width, height, depth, flags);
    if (width <= 0 || height <= 0) {
        width = desktop_w;
        height = desktop_h;
        vull_plat_logf("retrieving desktop resolution: %d %d\n", width, height);
    }
    int ww, wh;
    int32_t *size = cfg.window_size;
    if (*cfg.window_size_set) {
        if (size[0] < 32 || size[1] < 32) {
            size[0] = 640;
            size[1] = 540;
        }
        ww = size[0];
        wh = size[1];
        vull_plat_logf(" window size: %d %d\n", ww, wh);
    } else {
        size[0] = ww = width;
        size[1] = wh = height;
    }
    if (flags & 0x100) {
        if (vull_plat_get(cfg.windowed)) vull_screen_mode = 0;
    } else {
        if (flags & 4) vull_screen_mode = 0;
        if (flags & 8) vull_screen_mode = 1;
    }
    // No desktop size known: never make a 0 x 0 page, whichever way the
    // window size was chosen.
    if (width <= 0 || height <= 0) {
        width = 384;
        height = 216;
        if (!*cfg.window_size_set) {
            // Stored too, so that leaving full screen later never asks for a 0 x 0 window.
            size[0] = ww = width;
            size[1] = wh = height;
        }
    }
    if (!vull_back_page || vull_back_page->width != width || vull_back_page->height != height ||
        vull_back_page->bpp != depth) {
        eng.destroy_bitmap(vull_back_page);
        vull_back_page = eng.create_bitmap(width, height, depth);
        if (!vull_back_page) {
            // Too large to allocate: say so rather than open a window with nothing to show.
            vull_plat_logf(" could not create a back page of %d x %d x %d\n", width, height, depth);
            return -1;
        }
    }
    if (!headless_or_framebuffer()) {
        int r = vull_set_screen_plat(ww, wh, width, height, depth, flags);
        if (r) return r;
    }
    vull_screen_actual.width = ww;
    vull_screen_actual.height = wh;
    vull_screen_actual.bpp = depth;
    vull_screen_actual.clip_x0 = 0;
    vull_screen_actual.clip_x1 = ww;
    vull_screen_actual.clip_y0 = 0;
    vull_screen_actual.clip_y1 = wh;
    vull_plat_logf(" desktop size: %d %d\n", desktop_w, desktop_h);
    vull_plat_logf("ok\n");
    return 0;
}

void vull_toggle_fullscreen() {
    if (headless_or_framebuffer()) return;
    vull_screen_mode = !vull_screen_mode;
    vull_set_screen_plat(cfg.window_size[0], cfg.window_size[1],
                         vull_back_page ? vull_back_page->width : 0,
                         vull_back_page ? vull_back_page->height : 0, vull_screen_actual.bpp, 0);
}

void vull_set_windowed(int windowed) {
    if (headless_or_framebuffer()) return;
    vull_screen_mode = !windowed;
    vull_set_screen_plat(cfg.window_size[0], cfg.window_size[1],
                         vull_back_page ? vull_back_page->width : 0,
                         vull_back_page ? vull_back_page->height : 0, vull_screen_actual.bpp, 0);
}

int vull_get_windowed() { return vull_screen_mode == 0; }
int vull_get_desktop_width() { return desktop_w; }
int vull_get_desktop_height() { return desktop_h; }
int vull_get_window_width() { return vull_screen_mode ? desktop_w : vull_screen_actual.width; }
int vull_get_window_height() { return vull_screen_mode ? desktop_h : vull_screen_actual.height; }

void vull_set_window_size(int w, int h) {
    cfg.window_size[0] = w;
    cfg.window_size[1] = h;
    *cfg.window_size_set = 1;
}

void vull_set_palette(const uint8_t *rgb768) {
    if (!vull_palette || !rgb768 || rgb768 == reinterpret_cast<const uint8_t *>(vull_palette))
        return;
    memcpy(vull_palette, rgb768, sizeof(vull_palette_rec));
}

/* ---- placement ------------------------------------------------------- */

void get_dest_rect(vull_dest_rect *rect) {
    *rect = {0, 0, 0, 0};
    const int32_t *dr = cfg.draw_rect;
    if (vull_plat_get(dr, 2) > 0 && vull_plat_get(dr, 3) > 0) {
        *rect = {dr[0], dr[1], dr[2], dr[3]};
        return;
    }
    int ww, wh;
    vull_plat_window_size(&ww, &wh);
    if (ww < 1 || wh < 1 || !vull_back_page) return;
    int64_t pw = vull_back_page->width, ph = vull_back_page->height;
    if (pw < 1 || ph < 1) return;

    if (eng.pixel_perfect() == 1) {
        int64_t k = ww / pw < wh / ph ? ww / pw : wh / ph;
        if (k < 1) k = 1;
        int64_t w = pw * k, h = ph * k;
        *rect = {int32_t((ww - w) / 2), int32_t((wh - h) / 2), int32_t(w), int32_t(h)};
        return;
    }
    if (!vull_plat_get(cfg.keep_aspect)) {
        *rect = {0, 0, ww, wh};
    } else if (float(pw) / float(ph) > float(ww) / float(wh)) {
        int32_t h = int32_t(ph * ww / pw);
        *rect = {0, (wh - h) / 2, ww, h};
    } else {
        int32_t w = int32_t(pw * wh / ph);
        *rect = {(ww - w) / 2, 0, w, wh};
    }
}

int vull_get_pixel_perfect_plat() {
    if (!vull_back_page) return 0;
    if (*cfg.pixel_perfect >= 0) return *cfg.pixel_perfect != 0;
    int64_t pw = vull_back_page->width, ph = vull_back_page->height;
    if (pw > 719) return 0;
    int ww, wh;
    vull_plat_window_size(&ww, &wh);
    if (ww < 1 || wh < 1 || pw == 0 || ph == 0) return 0;
    if (vull_screen_mode == 0 && ww >= pw && wh >= ph) return 1;
    if (pw * 256 / ph <= int64_t(ww) * 256 / wh) return ph * (wh / ph) >= int64_t(wh) * 9 / 10;
    return pw * (ww / pw) >= int64_t(ww) * 9 / 10;
}

/* ---- presentation ---------------------------------------------------- */

static vull_bitmap *ensure_bitmap(vull_bitmap **b, int w, int h) {
    if (!*b || (*b)->width != w || (*b)->height != h) {
        eng.destroy_bitmap(*b);
        *b = eng.create_bitmap(w, h, 32);
    }
    return *b;
}

// The 8-bit pixels and the colour table bmp32 was last made from: most frames
// present the page they presented before, which then needs no conversion and
// no upload.
static std::vector<uint8_t> bmp32_source;
static size_t bmp32_source_w;
static vull_palette_rec bmp32_palette;

static const vull_bitmap *to_32bit(const vull_bitmap *bmp, bool *changed) {
    vull_bitmap *made = bmp32;
    if (!vull_palette || !ensure_bitmap(&bmp32, bmp->width, bmp->height)) return nullptr;
    size_t w = size_t(bmp->width), h = size_t(bmp->height);
    // The colours are compared as the palette holds them: making the table of
    // 32-bit colours is left to the frames that need it.
    bool same = made == bmp32 && bmp32_source_w == w && bmp32_source.size() == w * h &&
                std::memcmp(vull_palette, &bmp32_palette, sizeof bmp32_palette) == 0;
    for (size_t y = 0; y < h && same; y++)
        same = std::memcmp(bmp->rows[y], &bmp32_source[y * w], w) == 0;
    *changed = !same;
    if (same) return bmp32;
    bmp32_source.resize(w * h);
    bmp32_source_w = w;
    bmp32_palette = *vull_palette;
    uint32_t table[256];
    for (int i = 0; i < 256; i++) table[i] = vull_palette_colour(vull_palette, i);
    for (size_t y = 0; y < h; y++) {
        const uint8_t *s = bmp->rows[y];
        std::memcpy(&bmp32_source[y * w], s, w);
        uint32_t *d = reinterpret_cast<uint32_t *>(bmp32->rows[y]);
        for (size_t x = 0; x < w; x++) d[x] = table[s[x]];
    }
    return bmp32;
}

int vull_blit_to_video_plat(const vull_bitmap *bmp, vull_bitmap *screen, int sx, int sy, int dx,
                            int dy, int w, int h, int flags) {
    (void)screen;
    (void)w;
    (void)h;
    (void)flags;
    if (cfg.blit_hook && *cfg.blit_hook) {
        (*cfg.blit_hook)(const_cast<vull_bitmap *>(bmp));
        return 0;
    }
    if (sx || sy || dx || dy) return 0;
    // Only whole 8- and 32-bit pictures with pixels can be presented.
    if (!bmp || !bmp->rows || bmp->width < 1 || bmp->height < 1 ||
        (bmp->bpp != 8 && bmp->bpp != 32))
        return 0;
    bool changed = true; // a 32-bit page is not compared
    const vull_bitmap *pic = bmp->bpp == 8 ? to_32bit(bmp, &changed) : bmp;
    if (!pic) return 0;
    vull_plat_present(pic, changed);
    return 0;
}

int vull_blit_back_page() {
    if (vull_back_page)
        eng.blit(vull_back_page, vull_screen, 0, 0, 0, 0, vull_screen_actual.width,
                 vull_screen_actual.height);
    return 0;
}

int vull_flip_screen() { return vull_plat_get(cfg.headless); }

/* ---- frame clock ----------------------------------------------------- */

void vull_register_frame_start_for_fps() { frame_start_t = int(vull_get_time()); }

void vull_register_frame_end_for_fps() {
    int now = int(vull_get_time());
    int elapsed = vull_ms_between(frame_start_t, now);
    frame_start_t = now;
    if (elapsed <= 0)
        smoothed_fps = 1000 * 65536;
    else
        smoothed_fps = (1000 / (elapsed < 1000 ? elapsed : 1000)) * 65536;
}

void vull_exclude_from_fps(int ms) {
    if (ms > 0) frame_start_t = vull_ms_later(frame_start_t, ms);
}

int vull_get_fps() { return smoothed_fps >> 16; }

/* ---- icon ------------------------------------------------------------ */

void vull_set_window_icon(vull_bitmap *bmp) {
    if (!bmp || bmp->bpp != 32 || !bmp->pixels) return;
    vull_plat_set_icon(bmp);
}

/* ---- conversions (no caller in the player) --------------------------- */

void calculate_emucol(uint32_t *table, int divisor) {
    if (!table || !vull_palette || divisor == 0) return;
    for (int i = 0; i < 256; i++) {
        const vull_rgb &e = vull_palette->entry[i];
        table[i] = 0xFF000000u | uint32_t(e.r / divisor) << 16 | uint32_t(e.g / divisor) << 8 |
                   uint32_t(e.b / divisor);
    }
}

void blit_from_8_to_32(const vull_bitmap *bmp, uint32_t *dest, int x, int y, int w, int h,
                       int pitch) {
    if (!bmp || !dest || !vull_palette || bmp->bpp != 8) return;
    for (int j = 0; j < h; j++) {
        if (y + j < 0 || y + j >= bmp->height) continue;
        uint32_t *d =
            reinterpret_cast<uint32_t *>(reinterpret_cast<uint8_t *>(dest) + int64_t(j) * pitch);
        for (int i = 0; i < w; i++)
            if (x + i >= 0 && x + i < bmp->width)
                d[i] = vull_palette_colour(vull_palette, bmp->rows[y + j][x + i]);
    }
}
