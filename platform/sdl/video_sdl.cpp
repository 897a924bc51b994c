// The SDL back end's window: SDL's start-up, the window, the renderer with its
// streaming texture or the window surface, presentation, icon, title, focus,
// displays and the log dumps.
//
// A picture is either uploaded into a streaming texture and copied into the
// destination rectangle (renderer path) or scaled by nearest neighbour
// straight into the window surface (software path, used when no renderer can
// be made or when configured).
#include "platform/sdl/sdl_api.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/backend.h"
#include "platform/script.h"
#include "platform/sdl/sdl_video.h"
#include "platform/system.h"
#include "platform/video.h"

SDL_Window *sdl_window;
SDL_Renderer *sdl_renderer;
SDL_Texture *sdl_texture;
int sdl_texture_w, sdl_texture_h;
SDL_Window *sdl_window_display;

static SDL_GLContext vull_ctx;         // only with opengl_blit
static SDL_GLContext vull_ctx_display; // context of the second display window
static SDL_Texture *fps_texture;       // 128 x 8 overlay on the renderer path
static vull_bitmap *fps_bmp;           // what the overlay is drawn into
static vull_bitmap *soft_fps_page; // copy of a 32-bit page that the software fps text is drawn into
static SDL_Surface *soft_argb;     // ARGB8888 stand-in for window surfaces of other formats
static vull_bitmap *window_icon_bmp; // kept so that windows made later get the icon too

// The engine's options and state the window reads, where they are.
static const vull_plat_settings &cfg = vull_plat_config;

static const vull_video_funcs &eng = vull_video_engine;

static int pixel_perfect_now() { return eng.pixel_perfect(); }

void vull_plat_window_size(int *w, int *h) {
    *w = *h = 0;
    if (sdl_window) SDL_GetWindowSize(sdl_window, w, h);
}

// The filter of textures made from now on: whole-pixel scaling stays sharp.
static void set_scale_hint() {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, pixel_perfect_now() == 1 ? "nearest" : "linear");
}

/* ---- SDL start-up ---------------------------------------------------- */

int vull_system_init() {
    vull_plat_ticks(); // the clock starts with the platform
    // Headless, SDL is not even loaded: the engine's own signal handlers turn
    // Ctrl+C into the normal exit, and the clock is the platform layer's.
    if (vull_plat_get(cfg.headless)) {
        vull_plat_logf(" running in headless mode\n");
        if (vull_plat_get(cfg.framebuffer)) vull_plat_logf(" running in framebuffer mode\n");
        return 0;
    }
#ifdef ZIBO6_ARM32
    uint32_t flags = 0xF231; // also the sensor subsystem
#else
    uint32_t flags = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK |
                     SDL_INIT_HAPTIC | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS;
#endif
    if (vull_plat_get(cfg.framebuffer)) {
        flags &= ~uint32_t(SDL_INIT_VIDEO);
        vull_plat_logf(" running in framebuffer mode\n");
    }
    SDL_SetHint("SDL_VIDEO_ALLOW_SCREENSAVER", "1");
    if (SDL_Init(flags) < 0) vull_fatal_error("Unable to initialize SDL");
    // A successful init can leave informational text behind; it is not an error.
    SDL_ClearError();

    SDL_version compiled, linked;
    SDL_VERSION(&compiled);
    SDL_GetVersion(&linked);
    vull_plat_logf("Compiled against SDL version: %d.%d.%d\n", compiled.major, compiled.minor,
                   compiled.patch);
    vull_plat_logf("Linked against SDL version:   %d.%d.%d\n", linked.major, linked.minor,
                   linked.patch);
    if (!vull_plat_get(cfg.log_system_info)) {
        const char *drv = SDL_GetCurrentVideoDriver();
        vull_plat_logf("Current video driver: %s\n", drv ? drv : "(none)");
    } else {
        log_system_info();
    }

    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
#ifdef ZIBO6_ARM32
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    const char *drv = SDL_GetCurrentVideoDriver();
    if (drv && strcmp(drv, "x11") == 0) {
        *cfg.software_blit = 1;
        *cfg.pixel_perfect = 1;
    }
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif
    return 0;
}

int vull_system_exit() {
#ifdef ZIBO6_ARM32
    if (sdl_loaded()) SDL_VideoQuit();
#endif
    return 0;
}

/* ---- window ---------------------------------------------------------- */

int vull_video_init_plat() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        desktop_w = mode.w;
        desktop_h = mode.h;
    }
    return 0;
}

// What the window shows since the last present. An unchanged picture into the
// same rectangle of a window that had no event since is not sent again: the
// upload, the copy and the present of an idle cart cost more than its frame.
static struct {
    bool valid;           // the window shows what the fields below describe
    bool texture_current; // sdl_texture holds the last picture presented
    vull_dest_rect rect;
    int w, h; // the window's output size
} shown;

void sdl_window_needs_present() { shown.valid = false; }

// Whether presenting an unchanged picture can be skipped: the window already shows it.
static bool still_shown(const vull_dest_rect &r, int w, int h) {
    return shown.valid && !vull_plat_get(cfg.show_fps) && !vull_script_dump_wanted() &&
           r.x == shown.rect.x && r.y == shown.rect.y && r.w == shown.rect.w &&
           r.h == shown.rect.h && w == shown.w && h == shown.h;
}

static void remember_shown(const vull_dest_rect &r, int w, int h) {
    shown.valid = true;
    shown.rect = r;
    shown.w = w;
    shown.h = h;
}

// Textures belong to the renderer: they go before it does.
static void destroy_textures() {
    shown = {};
    if (sdl_texture) SDL_DestroyTexture(sdl_texture);
    if (fps_texture) SDL_DestroyTexture(fps_texture);
    sdl_texture = fps_texture = nullptr;
    sdl_texture_w = sdl_texture_h = 0;
    eng.destroy_bitmap(fps_bmp);
    fps_bmp = nullptr;
}

static void destroy_window() {
    if (vull_ctx) SDL_GL_DeleteContext(vull_ctx);
    vull_ctx = nullptr;
    destroy_textures();
    if (sdl_renderer) SDL_DestroyRenderer(sdl_renderer);
    sdl_renderer = nullptr;
    if (soft_argb) SDL_FreeSurface(soft_argb);
    soft_argb = nullptr;
    if (sdl_window) SDL_DestroyWindow(sdl_window);
    sdl_window = nullptr;
}

int vull_video_exit_plat() {
    destroy_window();
    eng.destroy_bitmap(soft_fps_page);
    soft_fps_page = nullptr;
    if (vull_ctx_display) SDL_GL_DeleteContext(vull_ctx_display);
    vull_ctx_display = nullptr;
    if (sdl_window_display) SDL_DestroyWindow(sdl_window_display);
    sdl_window_display = nullptr;
    return 0;
}

// Window position and full-screen size, shared by both paths.
static void place_window(int *x, int *y, int *ww, int *wh) {
    int px = vull_plat_get(cfg.window_position, 0), py = vull_plat_get(cfg.window_position, 1);
    *x = px == -1 ? int(SDL_WINDOWPOS_UNDEFINED) : px;
    *y = py == -1 ? int(SDL_WINDOWPOS_UNDEFINED) : py;
    if (vull_screen_mode) *x = *y = 0;
    int d = vull_plat_get(cfg.display);
    if (d >= 0 && d < SDL_GetNumVideoDisplays()) {
        if (!vull_screen_mode) {
            if (*x == int(SDL_WINDOWPOS_UNDEFINED)) *x = 0;
            if (*y == int(SDL_WINDOWPOS_UNDEFINED)) *y = 0;
        }
        SDL_Rect b;
        if (SDL_GetDisplayBounds(d, &b) == 0) {
            *x += b.x;
            *y += b.y;
            vull_plat_logf("adding display boundary offset: %d %d (%d %d)\n", b.x, b.y, b.w, b.h);
        }
        SDL_DisplayMode m;
        if (vull_screen_mode && SDL_GetCurrentDisplayMode(d, &m) == 0) {
            desktop_w = m.w;
            desktop_h = m.h;
            vull_plat_logf("fullscreen; updated desktop of display %d to %d %d\n", d, desktop_w,
                           desktop_h);
        }
    }
    if (vull_screen_mode) {
        const int32_t *fs = cfg.fullscreen_size;
        if (vull_plat_get(fs, 0) && vull_plat_get(fs, 1)) {
            desktop_w = fs[0];
            desktop_h = fs[1];
            vull_plat_logf("overriding with preferred window size: %d %d\n", desktop_w, desktop_h);
        }
        vull_plat_logf("setting fullscreen window size to %d %d\n", desktop_w, desktop_h);
        *ww = desktop_w;
        *wh = desktop_h;
    }
}

static uint32_t window_flags() {
    if (!vull_screen_mode) return vull_plat_get(cfg.frameless) ? 0x34 : 0x24;
    switch (vull_plat_get(cfg.fullscreen_method)) {
    case 0: return 0x194;
    case 2: return 0x1;
    default: return 0x1001;
    }
}

static const char *window_title() {
    if (cfg.window_title && *cfg.window_title) return *cfg.window_title;
    return vull_plat_text(cfg.app_title);
}

static void apply_icon() {
    if (window_icon_bmp && window_icon_bmp->bpp == 32) vull_plat_set_icon(window_icon_bmp);
}

// Streaming texture of the page size. The page is shown as it is: window
// pixels have no alpha, so a page pixel's alpha byte must not blend it away.
static void create_page_texture(int w, int h) {
    shown = {};
    if (sdl_texture) SDL_DestroyTexture(sdl_texture);
    sdl_texture_w = sdl_texture_h = 0;
    // Our words are 0xAARRGGBB; a window of xRGB words takes them in its own
    // format, which spares a software renderer a conversion of every pixel.
    uint32_t format = SDL_PIXELFORMAT_ARGB8888;
    if (sdl_window && SDL_GetWindowPixelFormat(sdl_window) == SDL_PIXELFORMAT_RGB888)
        format = SDL_PIXELFORMAT_RGB888;
    sdl_texture = SDL_CreateTexture(sdl_renderer, format, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (!sdl_texture) return;
    SDL_SetTextureBlendMode(sdl_texture, SDL_BLENDMODE_NONE);
    sdl_texture_w = w;
    sdl_texture_h = h;
}

static void dump_renderer() {
    SDL_RendererInfo info;
    if (sdl_renderer && SDL_GetRendererInfo(sdl_renderer, &info) == 0) SDLTest_PrintRenderer(&info);
}

// SDL's offscreen and dummy drivers make windows that show nowhere: picked by
// SDL for want of a display, they would leave the player running unseen until
// killed, so they count as no window unless SDL_VIDEODRIVER names a driver.
static SDL_Window *create_window(int x, int y, int w, int h, uint32_t flags) {
    const char *drv = SDL_GetCurrentVideoDriver();
    const char *named = getenv("SDL_VIDEODRIVER");
    bool unseen = drv && (strcmp(drv, "offscreen") == 0 || strcmp(drv, "dummy") == 0);
    if (unseen && !(named && *named)) return nullptr;
    return SDL_CreateWindow(window_title(), x, y, w, h, flags);
}

int vull_set_screen_plat(int ww, int wh, int page_w, int page_h, int depth, int flags) {
    vull_system_active = 1;
#ifdef ZIBO6_ARM32
    const char *drv = SDL_GetCurrentVideoDriver();
    if (drv && strcmp(drv, "x11") == 0) {
        *cfg.software_blit = 1;
        *cfg.pixel_perfect = 1;
    } else {
        vull_screen_mode = 1;
        if (sdl_window) return 0;
    }
#endif
    if (*cfg.software_blit) return vull_set_screen_software(ww, wh, depth, flags);

    int x, y;
    place_window(&x, &y, &ww, &wh);
    destroy_window();

    uint32_t wf = window_flags();
    if (vull_plat_get(cfg.opengl_blit)) wf |= SDL_WINDOW_OPENGL;
    sdl_window = create_window(x, y, ww, wh, wf);
    if (!sdl_window) vull_fatal_error("Unable to create window");

    if (vull_plat_get(cfg.opengl_blit)) {
        // Presentation through GL is not part of this program: the context is
        // made for whoever asks for it, and no renderer is created.
        vull_ctx = SDL_GL_CreateContext(sdl_window);
        destroy_textures();
        return 0;
    }

    sdl_renderer = SDL_CreateRenderer(sdl_window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!sdl_renderer) {
        vull_plat_logf(" could not create sdl_renderer! dropping down to software_blit\n");
        *cfg.software_blit = 1;
        return vull_set_screen_software(ww, wh, depth, flags);
    }

    // The hint only reaches textures created after it is set, so a later
    // change of pixel_perfect changes filtering when the texture is re-made.
    const char *filter = pixel_perfect_now() == 1 ? "nearest" : "linear";
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, filter);
    vull_plat_logf("  setting filter to %s (screen_mode %d  back page width: %d)\n", filter,
                   vull_screen_mode, vull_back_page ? vull_back_page->width : 0);

    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_renderer);
    SDL_RenderPresent(sdl_renderer);

    destroy_textures();
    create_page_texture(page_w, page_h);
    fps_texture = SDL_CreateTexture(sdl_renderer, SDL_PIXELFORMAT_ARGB8888,
                                    SDL_TEXTUREACCESS_STREAMING, 128, 8);
    if (fps_texture) SDL_SetTextureBlendMode(fps_texture, SDL_BLENDMODE_BLEND);
    fps_bmp = eng.create_bitmap(128, 8, 32);

    apply_icon();
    dump_renderer();
    if (sdl_window_display && vull_screen_mode) SDL_SetWindowGrab(sdl_window, SDL_TRUE);
    SDL_ClearError();
    return 0;
}

int vull_set_screen_software(int ww, int wh, int depth, int flags) {
    (void)depth;
    (void)flags;
    if (*cfg.window_size_set) {
        ww = cfg.window_size[0];
        wh = cfg.window_size[1];
        if (ww < 32 || wh < 32) {
            ww = 640;
            wh = 480;
        }
        vull_plat_logf(" vull_set_screen_software() window size: %d %d\n", ww, wh);
    } else {
        cfg.window_size[0] = ww;
        cfg.window_size[1] = wh;
    }
    int x, y;
    place_window(&x, &y, &ww, &wh);
    destroy_window();
    sdl_window = create_window(x, y, ww, wh, window_flags());
    if (!sdl_window) vull_fatal_error("Unable to create window");
    apply_icon();
    SDL_ClearError();
    return 0;
}

static void draw_fps_phat(vull_bitmap *page) {
    char text[16];
    snprintf(text, sizeof text, "%03d", vull_get_fps());
    eng.draw_text_phat(page, text, 1, 1, 1, 0, 0xFF000000u, 0xFFFFFFFFu);
}

// Nearest-neighbour scaling of pic into rect on a 32-bit surface. A rect that runs
// past the surface is first cut to it and the whole picture squeezed into what is
// left, so the page is always seen whole.
static void scale_into(const vull_bitmap *pic, uint8_t *pixels, int pitch, int sw, int sh,
                       const vull_dest_rect &r) {
    memset(pixels, 0, size_t(pitch) * size_t(sh));
    if (sw <= 0 || sh <= 0) return;
    int x = std::clamp(r.x, 0, sw - 1), y = std::clamp(r.y, 0, sh - 1);
    int w = std::min(r.w, sw - x), h = std::min(r.h, sh - y);
    if (w <= 0 || h <= 0) return;
    int64_t step = (int64_t(pic->width) << 16) / w;
    for (int row = 0; row < h; row++) {
        const uint32_t *src =
            reinterpret_cast<const uint32_t *>(pic->rows[int64_t(pic->height) * row / h]);
        uint32_t *dst = reinterpret_cast<uint32_t *>(pixels + int64_t(y + row) * pitch) + x;
        for (int c = 0; c < w; c++) dst[c] = src[(int64_t(c) * step) >> 16];
    }
}

// The window's picture, as presented, to the input script's waiting dumps.
static void dump_picture(const void *pixels, int pitch, int w, int h) {
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    for (int y = 0; y < h; y++) {
        const auto *row = reinterpret_cast<const uint32_t *>(static_cast<const uint8_t *>(pixels) +
                                                             int64_t(y) * pitch);
        for (int x = 0; x < w; x++) argb[size_t(y) * w + x] = row[x] | 0xFF000000u;
    }
    vull_script_picture(argb.data(), w, h);
}

static void present_software(const vull_bitmap *pic, bool changed) {
    vull_dest_rect r;
    get_dest_rect(&r);
    int ww = 0, wh = 0;
    if (sdl_window) SDL_GetWindowSize(sdl_window, &ww, &wh);
    if (!changed && still_shown(r, ww, wh)) return;
    shown.valid = false;
    if (vull_plat_get(cfg.show_fps)) {
        // The text goes into a copy: the application's own page stays as it drew it.
        if (!soft_fps_page || soft_fps_page->width != pic->width ||
            soft_fps_page->height != pic->height) {
            eng.destroy_bitmap(soft_fps_page);
            soft_fps_page = eng.create_bitmap(pic->width, pic->height, 32);
            if (!soft_fps_page) return;
        }
        for (int y = 0; y < pic->height; y++)
            memcpy(soft_fps_page->rows[y], pic->rows[y], size_t(pic->width) * 4);
        pic = soft_fps_page;
        draw_fps_phat(soft_fps_page);
    }
    if (!sdl_window) return;
    SDL_Surface *surf = SDL_GetWindowSurface(sdl_window);
    if (!surf) return;
    // Only 32-bit xRGB surfaces take our words as they are; anything else is
    // drawn into an ARGB8888 surface of the same size and converted by SDL.
    bool direct =
        surf->format->BytesPerPixel == 4 && (surf->format->format == SDL_PIXELFORMAT_ARGB8888 ||
                                             surf->format->format == SDL_PIXELFORMAT_RGB888);
    SDL_Surface *dst = surf;
    if (!direct) {
        if (!soft_argb || soft_argb->w != surf->w || soft_argb->h != surf->h) {
            if (soft_argb) SDL_FreeSurface(soft_argb);
            soft_argb =
                SDL_CreateRGBSurfaceWithFormat(0, surf->w, surf->h, 32, SDL_PIXELFORMAT_ARGB8888);
            if (!soft_argb) return;
            SDL_SetSurfaceBlendMode(soft_argb, SDL_BLENDMODE_NONE); // a copy, as on the direct path
        }
        dst = soft_argb;
    }
    if (SDL_LockSurface(dst) != 0) return;
    bool drawn = dst->pixels != nullptr;
    if (drawn) scale_into(pic, static_cast<uint8_t *>(dst->pixels), dst->pitch, dst->w, dst->h, r);
    if (dst->pixels && vull_script_dump_wanted())
        dump_picture(dst->pixels, dst->pitch, dst->w, dst->h);
    SDL_UnlockSurface(dst);
    if (!direct) SDL_BlitSurface(dst, nullptr, surf, nullptr);
    SDL_UpdateWindowSurface(sdl_window);
    if (drawn) remember_shown(r, ww, wh);
}

static void upload(SDL_Texture *tex, const vull_bitmap *pic) {
    void *pixels;
    int pitch;
    if (SDL_LockTexture(tex, nullptr, &pixels, &pitch) != 0) return;
    for (int y = 0; y < pic->height; y++)
        memcpy(static_cast<uint8_t *>(pixels) + int64_t(y) * pitch, pic->rows[y],
               size_t(pic->width) * 4);
    SDL_UnlockTexture(tex);
}

static void present_renderer(const vull_bitmap *pic, bool changed) {
    if (!sdl_renderer) return;
    if (!sdl_texture || pic->width != sdl_texture_w || pic->height != sdl_texture_h) {
        set_scale_hint();
        create_page_texture(pic->width, pic->height);
    }
    vull_dest_rect r;
    get_dest_rect(&r);
    int ow = 0, oh = 0;
    bool sized = SDL_GetRendererOutputSize(sdl_renderer, &ow, &oh) == 0;
    if (!sized) ow = oh = 0;
    bool fresh = changed || !shown.texture_current;
    if (!fresh && sized && still_shown(r, ow, oh)) return;
    shown.valid = false;
    if (sdl_texture && fresh) {
        upload(sdl_texture, pic);
        shown.texture_current = true;
    }
    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    if (r.w > 0 && r.h > 0 && sdl_texture && sized && r.x >= 0 && r.y >= 0 && r.x + r.w <= ow &&
        r.y + r.h <= oh) {
        // The picture covers its rectangle: only the borders around it are cleared.
        const SDL_Rect border[4] = {{0, 0, ow, r.y},
                                    {0, r.y + r.h, ow, oh - r.y - r.h},
                                    {0, r.y, r.x, r.h},
                                    {r.x + r.w, r.y, ow - r.x - r.w, r.h}};
        SDL_RenderFillRects(sdl_renderer, border, 4);
    } else {
        SDL_RenderClear(sdl_renderer);
    }
    if (r.w > 0 && r.h > 0 && sdl_texture) {
        SDL_Rect d = {r.x, r.y, r.w, r.h};
        SDL_RenderCopy(sdl_renderer, sdl_texture, nullptr, &d);
        if (r.w > 127 && r.h > 7 && vull_plat_get(cfg.show_fps) && fps_bmp && fps_texture) {
            eng.clear_bitmap(fps_bmp);
            char text[24];
            snprintf(text, sizeof text, "%03d fps", vull_get_fps());
            eng.draw_text(fps_bmp, text, 2, 1, 1);
            // Drawing keeps the cleared bitmap's alpha of 0; the overlay is
            // blended, so the text itself must be made opaque.
            for (int y = 0; y < fps_bmp->height; y++) {
                uint32_t *row = reinterpret_cast<uint32_t *>(fps_bmp->rows[y]);
                for (int x = 0; x < fps_bmp->width; x++)
                    if (row[x] & 0xFFFFFFu) row[x] |= 0xFF000000u;
            }
            upload(fps_texture, fps_bmp);
            SDL_Rect fr = {0, 0, 128, 8};
            SDL_RenderCopy(sdl_renderer, fps_texture, nullptr, &fr);
        }
    }
    if (vull_script_dump_wanted() && SDL_GetRendererOutputSize(sdl_renderer, &ow, &oh) == 0 &&
        ow > 0 && oh > 0) {
        // Read before the present: the buffer presented holds nothing defined after it.
        std::vector<uint32_t> px(size_t(ow) * size_t(oh));
        if (SDL_RenderReadPixels(sdl_renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(),
                                 ow * 4) == 0)
            dump_picture(px.data(), ow * 4, ow, oh);
    }
    SDL_RenderPresent(sdl_renderer);
    if (sized) remember_shown(r, ow, oh);
}

void vull_plat_present(const vull_bitmap *pic, bool changed) {
    if (*cfg.software_blit)
        present_software(pic, changed);
    else
        present_renderer(pic, changed);
}

/* ---- icon, title, focus ---------------------------------------------- */

void vull_plat_set_icon(vull_bitmap *bmp) {
    window_icon_bmp = bmp;
    if (!sdl_window || !bmp) return;
    SDL_Surface *s =
        SDL_CreateRGBSurfaceFrom(bmp->pixels, bmp->width, bmp->height, 32, bmp->width * 4,
                                 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    if (!s) return;
    SDL_SetWindowIcon(sdl_window, s);
    SDL_FreeSurface(s);
}

void update_sdl_window_title(const char *text) {
    if (sdl_window && text) SDL_SetWindowTitle(sdl_window, text);
}

int vull_is_app_active() {
    if (vull_plat_get(cfg.framebuffer) || vull_system_active) return 1;
    if (!sdl_loaded()) return 0;
    SDL_Window *focus = SDL_GetKeyboardFocus();
    return focus && (focus == sdl_window || focus == sdl_window_display);
}

/* ---- displays (no caller in the player) ------------------------------ */

int vull_num_video_displays() { return SDL_GetNumVideoDisplays(); }

static int display_has_mode(int d, int w, int h) {
    int n = SDL_GetNumDisplayModes(d);
    for (int i = 0; i < n; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(d, i, &m) == 0 && m.w == w && m.h == h) return 1;
    }
    return 0;
}

int vull_choose_display(const char *name, int width, int height) {
    int n = SDL_GetNumVideoDisplays();
    if (n < 2) return -1;
    if (vull_plat_get(cfg.ext_display) > 0) return vull_plat_get(cfg.ext_display);
    bool looking = name && strcmp(name, "looking") == 0;
    for (int d = n - 1; d >= 0; d--) {
        if (!display_has_mode(d, width, height)) continue;
        const char *dn = SDL_GetDisplayName(d);
        char lower[256] = "";
        if (dn) {
            snprintf(lower, sizeof lower, "%s", dn);
            for (char *c = lower; *c; c++)
                if (*c >= 'A' && *c <= 'Z') *c = char(*c - 'A' + 'a');
        }
        if (looking && strstr(lower, "lkg")) return d;
        if ((name && strstr(lower, name)) ||
            (looking && (strstr(lower, "holoplay") || strstr(lower, "generic pnp monitor"))))
            return d;
    }
    for (int d = n - 1; d >= 0; d--)
        if (display_has_mode(d, width, height)) return d;
    return -1;
}

int vull_open_display(int display, int width, int height) {
    SDL_Rect b;
    if (SDL_GetDisplayBounds(display, &b) != 0) return -1;
    if (width == 0) width = b.w;
    if (height == 0) height = b.h;
    vull_plat_logf("vull_open_display: %d %d (%d %d)\n", b.x, b.y, width, height);
    sdl_window_display = SDL_CreateWindow(window_title(), b.x, b.y, width, height, 0x36);
    if (!sdl_window_display) return -1;
    vull_ctx_display = SDL_GL_CreateContext(sdl_window_display);
    return 0;
}

/* ---- log dumps ------------------------------------------------------- */

void log_system_info() {
    int n = SDL_GetNumVideoDrivers();
    if (n <= 0) vull_plat_logf("No built-in video drivers\n");
    for (int i = 0; i < n; i++) vull_plat_logf(" %d %s", i, SDL_GetVideoDriver(i));
    if (n > 0) vull_plat_logf("\n");
    const char *drv = SDL_GetCurrentVideoDriver();
    vull_plat_logf("Current video driver: %s\n", drv ? drv : "(none)");
    n = SDL_GetNumRenderDrivers();
    if (n <= 0) vull_plat_logf("No built-in render drivers\n");
    for (int i = 0; i < n; i++) {
        SDL_RendererInfo info;
        if (SDL_GetRenderDriverInfo(i, &info) == 0) SDLTest_PrintRenderer(&info);
    }
    n = SDL_GetNumVideoDisplays();
    if (n <= 0) {
        vull_plat_logf("No displays found\n");
        return;
    }
    vull_plat_logf("Displays:\n");
    for (int d = 0; d < n; d++) {
        const char *name = SDL_GetDisplayName(d);
        vull_plat_logf("[%s]\n", name ? name : "");
        int m = SDL_GetNumDisplayModes(d);
        for (int i = 0; i < m; i++) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(d, i, &mode) == 0)
                vull_plat_logf("  display_mode %d: %d x %d (%d) ", i, mode.w, mode.h,
                               mode.refresh_rate);
        }
        vull_plat_logf("\n");
    }
}

void SDLTest_PrintRenderer(SDL_RendererInfo *info) {
    FILE *f = cfg.log_file ? *cfg.log_file : nullptr;
    if (!f || !info) return;
    fprintf(f, "  Renderer %s:\n", info->name ? info->name : "");
    fprintf(f, "    Flags: 0x%8.8X (%s%s%s%s )\n", unsigned(info->flags),
            info->flags & SDL_RENDERER_SOFTWARE ? " Software" : "",
            info->flags & SDL_RENDERER_ACCELERATED ? " Accelerated" : "",
            info->flags & SDL_RENDERER_PRESENTVSYNC ? " PresentVSync" : "",
            info->flags & SDL_RENDERER_TARGETTEXTURE ? " TargetTexturesSupported" : "");
    fprintf(f, "    Texture formats (%u):", unsigned(info->num_texture_formats));
    for (unsigned i = 0; i < info->num_texture_formats && i < 16; i++)
        fprintf(f, " %s", SDL_GetPixelFormatName(info->texture_formats[i]));
    fprintf(f, "\n");
    if (info->max_texture_width || info->max_texture_height)
        fprintf(f, "    Max Texture Size: %dx%d\n", info->max_texture_width,
                info->max_texture_height);
    fflush(f);
}
