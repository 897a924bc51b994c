// Presentation under SDL's dummy video driver: the picture is read back from
// the renderer or the window surface and checked against the back page.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/text.h"
#include "engine/vull.h"
#include "platform/sdl/sdl_video.h"
#include "platform/system.h"
#include "platform/video.h"

namespace {

struct VideoTest : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
    }
    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override {
        vull_config_default();
        cconfig.headless = 0;
        vull_state.window_size_set = 0;
        vull_screen_mode = 0;
        vull_video_init();
        ASSERT_NE(vull_palette, nullptr);
        // Distinct, never-black colours, so every page pixel is told apart from the border.
        for (int i = 0; i < 256; i++)
            vull_palette->entry[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(40 + i / 2)};
    }
    void TearDown() override { vull_video_exit(); }

    static void set_draw_rect(int x, int y, int w, int h) {
        cconfig.draw_rect[0] = x;
        cconfig.draw_rect[1] = y;
        cconfig.draw_rect[2] = w;
        cconfig.draw_rect[3] = h;
    }
    static void expect_window_size(int w, int h) {
        int ww, wh;
        SDL_GetWindowSize(sdl_window, &ww, &wh);
        EXPECT_EQ(ww, w);
        EXPECT_EQ(wh, h);
    }

    // 8-bit page whose pixel (x, y) has index (x + 3 * y) & 255.
    static void fill_pattern() {
        for (int y = 0; y < vull_back_page->height; y++)
            for (int x = 0; x < vull_back_page->width; x++)
                vull_back_page->rows[y][x] = uint8_t(x + 3 * y);
    }
    static uint32_t page_colour(int x, int y) {
        return vull_palette_colour(vull_palette, (x + 3 * y) & 255) & 0xFFFFFF;
    }

    // What the window shows, as 0xRRGGBB words.
    static std::vector<uint32_t> read_window(int *w, int *h) {
        SDL_GetWindowSize(sdl_window, w, h);
        std::vector<uint32_t> px(size_t(*w) * size_t(*h));
        if (sdl_renderer) {
            EXPECT_EQ(SDL_RenderReadPixels(sdl_renderer, nullptr, SDL_PIXELFORMAT_ARGB8888,
                                           px.data(), *w * 4),
                      0)
                << SDL_GetError();
        } else {
            SDL_Surface *s = SDL_GetWindowSurface(sdl_window);
            EXPECT_NE(s, nullptr);
            SDL_Surface *c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
            for (int y = 0; y < *h; y++)
                memcpy(&px[size_t(y) * *w], static_cast<uint8_t *>(c->pixels) + y * c->pitch,
                       size_t(*w) * 4);
            SDL_FreeSurface(c);
        }
        for (auto &p : px) p &= 0xFFFFFF;
        return px;
    }

    // Every page pixel lands as a k x k block at r, and the rest of the window is black.
    static void expect_integer_mapping(const vull_dest_rect &r, int k) {
        int w, h;
        std::vector<uint32_t> px = read_window(&w, &h);
        int pw = vull_back_page->width, ph = vull_back_page->height;
        ASSERT_EQ(r.w, pw * k);
        ASSERT_EQ(r.h, ph * k);
        for (int y = 0; y < ph; y += 7)
            for (int x = 0; x < pw; x += 5)
                for (int dy : {0, k - 1})
                    for (int dx : {0, k - 1})
                        ASSERT_EQ(px[size_t(r.y + y * k + dy) * w + r.x + x * k + dx],
                                  page_colour(x, y))
                            << "page " << x << "," << y;
        if (r.x > 0) { EXPECT_EQ(px[size_t(r.y + 5) * w + r.x - 1], 0u); }
        if (r.x + r.w < w) { EXPECT_EQ(px[size_t(r.y + 5) * w + r.x + r.w], 0u); }
        if (r.y > 0) { EXPECT_EQ(px[size_t(r.y - 1) * w + r.x + 5], 0u); }
        if (r.y + r.h < h) { EXPECT_EQ(px[size_t(r.y + r.h) * w + r.x + 5], 0u); }
    }
};

TEST_F(VideoTest, WindowedPixelPerfectAutomatic) {
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    ASSERT_NE(sdl_window, nullptr);
    ASSERT_NE(sdl_renderer, nullptr);
    EXPECT_EQ(vull_screen_actual.width, 640);
    EXPECT_EQ(vull_screen_actual.height, 540);
    EXPECT_EQ(vull_get_pixel_perfect_plat(), 1);
    vull_dest_rect r;
    get_dest_rect(&r);
    EXPECT_EQ(r.x, 64);
    EXPECT_EQ(r.y, 14);
    fill_pattern();
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    expect_integer_mapping(r, 4);
    // Through the engine blit, as the main loop presents.
    vull_blit_back_page();
    expect_integer_mapping(r, 4);
    // The same pixels under other colours are a new picture: a palette entry
    // changed alone reaches the window (each of these indices is sampled).
    for (int i : {0, 5, 21, 255}) {
        vull_palette->entry[i].g ^= 0x55;
        vull_blit_back_page();
        expect_integer_mapping(r, 4);
    }
}

TEST_F(VideoTest, FullScreenScalesToTheHeight) {
    cconfig.fullscreen_method = 1;
    ASSERT_EQ(vull_set_screen(128, 128, 8, 8), 0);
    ASSERT_EQ(vull_screen_mode, 1);
    expect_window_size(desktop_w, desktop_h);
    int w, h;
    SDL_GetWindowSize(sdl_window, &w, &h);
    vull_dest_rect r;
    get_dest_rect(&r);
    int k = h / 128 < w / 128 ? h / 128 : w / 128;
    EXPECT_EQ(r.x, (w - 128 * k) / 2);
    EXPECT_EQ(r.y, (h - 128 * k) / 2);
    fill_pattern();
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    expect_integer_mapping(r, k);

    // Toggling back gives the configured window again.
    vull_toggle_fullscreen();
    EXPECT_EQ(vull_screen_mode, 0);
    expect_window_size(128, 128);
}

TEST_F(VideoTest, DestinationRectangleRules) {
    // A 1920 x 1080 borderless window: integer scale 8 centred.
    cconfig.fullscreen_method = 0;
    cconfig.fullscreen_size[0] = 1920;
    cconfig.fullscreen_size[1] = 1080;
    ASSERT_EQ(vull_set_screen(128, 128, 8, 8), 0);
    int w, h;
    SDL_GetWindowSize(sdl_window, &w, &h);
    if (w == 1920 && h == 1080) {
        vull_dest_rect r;
        get_dest_rect(&r);
        EXPECT_EQ(r.x, 448);
        EXPECT_EQ(r.y, 28);
        EXPECT_EQ(r.w, 1024);
        EXPECT_EQ(r.h, 1024);
    }

    // A fixed rectangle wins; a width of 0 turns it off.
    set_draw_rect(10, 20, 100, 50);
    vull_dest_rect r;
    get_dest_rect(&r);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    EXPECT_EQ(r.w, 100);
    EXPECT_EQ(r.h, 50);
    cconfig.draw_rect[2] = 0;
    get_dest_rect(&r);
    EXPECT_NE(r.w, 100);

    // A page wider than 719 is never scaled by whole pixels automatically.
    vull_screen_mode = 0;
    cconfig.fullscreen_size[0] = cconfig.fullscreen_size[1] = 0;
    vull_set_window_size(1600, 900);
    ASSERT_EQ(vull_set_screen(1280, 720, 32, 4), 0);
    EXPECT_EQ(vull_get_pixel_perfect_plat(), 0);
}

TEST_F(VideoTest, StretchedKeepsAspectAndFillsTheRest) {
    cconfig.pixel_perfect = 0;
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    vull_dest_rect r;
    get_dest_rect(&r);
    EXPECT_EQ(r.x, 50);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.w, 540);
    EXPECT_EQ(r.h, 540);
    // Large single-colour blocks, so linear filtering cannot blur the samples.
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            vull_back_page->rows[y][x] = uint8_t(1 + x / 32 + (y / 32) * 4);
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    int w, h;
    std::vector<uint32_t> px = read_window(&w, &h);
    EXPECT_EQ(px[size_t(270) * w + 48], 0u);
    EXPECT_EQ(px[size_t(270) * w + 593], 0u);
    for (int by = 0; by < 4; by++)
        for (int bx = 0; bx < 4; bx++) {
            int cx = 50 + (bx * 32 + 16) * 540 / 128, cy = (by * 32 + 16) * 540 / 128;
            EXPECT_EQ(px[size_t(cy) * w + cx],
                      vull_palette_colour(vull_palette, 1 + bx + by * 4) & 0xFFFFFF);
        }

    // Without keep_aspect the whole window.
    cconfig.keep_aspect = 0;
    get_dest_rect(&r);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, 640);
    EXPECT_EQ(r.h, 540);
}

TEST_F(VideoTest, SoftwarePath) {
    cconfig.software_blit = 1;
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    ASSERT_NE(sdl_window, nullptr);
    EXPECT_EQ(sdl_renderer, nullptr);
    vull_dest_rect r;
    get_dest_rect(&r);
    EXPECT_EQ(r.x, 64);
    EXPECT_EQ(r.y, 14);
    fill_pattern();
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    expect_integer_mapping(r, 4);

    // A rectangle partly outside the window is cut to it and the whole page squeezed in.
    set_draw_rect(-64, -32, 512, 512);
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    int w, h;
    std::vector<uint32_t> px = read_window(&w, &h);
    EXPECT_EQ(px[0], page_colour(0, 0));
    EXPECT_EQ(px[size_t(100) * w + 100], page_colour(100 / 4, 100 / 4));
    EXPECT_EQ(px[size_t(511) * w + 511], page_colour(127, 127));
    EXPECT_EQ(px[size_t(100) * w + 513], 0u);
    set_draw_rect(600, 0, 128, 128); // 40 columns left: squeezed, not cropped
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    px = read_window(&w, &h);
    EXPECT_EQ(px[599], 0u);
    EXPECT_EQ(px[600], page_colour(0, 0));
    EXPECT_EQ(px[size_t(127) * w + 639], page_colour(124, 127)); // column 39 x 3.2
}

TEST_F(VideoTest, SoftwarePathShowsTheWholePageInASmallWindow) {
    cconfig.software_blit = 1;
    cconfig.pixel_perfect = 1; // whole multiples only: the page's rect overhangs the window
    vull_set_window_size(64, 64);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    fill_pattern();
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    int w, h;
    std::vector<uint32_t> px = read_window(&w, &h);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 64);
    for (int y = 0; y < 64; y += 9)
        for (int x = 0; x < 64; x += 7)
            EXPECT_EQ(px[size_t(y) * w + x], page_colour(x * 2, y * 2)) << x << "," << y;
    EXPECT_EQ(px[size_t(63) * w + 63], page_colour(126, 126));
}

TEST_F(VideoTest, SoftwareFpsTextLeavesTheApplicationsPageAlone) {
    vull_text_init();
    cconfig.software_blit = 1;
    cconfig.show_fps = 1;
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 32, 4), 0);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            reinterpret_cast<uint32_t *>(vull_back_page->rows[y])[x] = 0xFF204080u;
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 20; x++)
            ASSERT_EQ(reinterpret_cast<uint32_t *>(vull_back_page->rows[y])[x], 0xFF204080u);
    // The text does reach the window.
    int w, h;
    std::vector<uint32_t> px = read_window(&w, &h);
    int changed = 0;
    for (int y = 14; y < 14 + 40; y++)
        for (int x = 64; x < 64 + 80; x++) changed += px[size_t(y) * w + x] != 0x204080u;
    EXPECT_GT(changed, 0);
    vull_text_exit();
}

TEST_F(VideoTest, PageAlphaDoesNotHideThePicture) {
    // A 32-bit page whose words carry no alpha is still shown as drawn, on
    // both paths: window pixels have no alpha to blend with.
    for (int soft : {0, 1}) {
        cconfig.software_blit = soft;
        vull_set_window_size(256, 256);
        ASSERT_EQ(vull_set_screen(128, 128, 32, 4), 0);
        ASSERT_EQ(sdl_renderer == nullptr, soft == 1);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++)
                reinterpret_cast<uint32_t *>(vull_back_page->rows[y])[x] =
                    x < 64 ? 0x00204080u : 0x80C06020u;
        vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
        int w, h;
        std::vector<uint32_t> px = read_window(&w, &h);
        EXPECT_EQ(px[size_t(100) * w + 20], 0x204080u) << "software " << soft;
        EXPECT_EQ(px[size_t(100) * w + 200], 0xC06020u) << "software " << soft;
    }
}

TEST_F(VideoTest, RendererFpsOverlayNeedsRoomForIt) {
    vull_text_init();
    cconfig.show_fps = 1;
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    ASSERT_NE(sdl_renderer, nullptr);
    fill_pattern();
    // The page lies at {64, 14}: the overlay's corner {0, 0, 128, 8} is border.
    auto overlay_pixels = [] {
        vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
        int w, h;
        std::vector<uint32_t> px = read_window(&w, &h);
        int lit = 0;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 64; x++) lit += px[size_t(y) * w + x] != 0;
        return lit;
    };
    EXPECT_GT(overlay_pixels(), 0);
    // A destination narrower than 128 gets no overlay.
    set_draw_rect(200, 100, 127, 127);
    EXPECT_EQ(overlay_pixels(), 0);
    vull_text_exit();
}

TEST_F(VideoTest, WindowSizeAndPageFallbacks) {
    // Too small a configured window: 640 x 540 (640 x 480 on the software path).
    vull_set_window_size(20, 20);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    expect_window_size(640, 540);
    // The screen set-up has already stored 640 x 540 back; the software
    // window's own fallback applies when it is asked directly.
    cconfig.software_blit = 1;
    vull_set_window_size(20, 20);
    ASSERT_EQ(vull_set_screen_software(20, 20, 8, 4), 0);
    expect_window_size(640, 480);

    // No desktop size known: the page is never 0 x 0, however the window was sized.
    desktop_w = desktop_h = 0;
    vull_set_window_size(300, 200);
    ASSERT_EQ(vull_set_screen(0, 0, 8, 4), 0);
    ASSERT_NE(vull_back_page, nullptr);
    EXPECT_EQ(vull_back_page->width, 384);
    EXPECT_EQ(vull_back_page->height, 216);
    vull_state.window_size_set = 0;
    cconfig.software_blit = 0;
    ASSERT_EQ(vull_set_screen(0, 0, 8, 4), 0);
    EXPECT_EQ(vull_back_page->width, 384);
    EXPECT_EQ(vull_screen_actual.width, 384);
    EXPECT_EQ(vull_screen_actual.height, 216);
    // A page too large to allocate is a failure, not a window without a page.
    EXPECT_NE(vull_set_screen(100000, 100000, 32, 4), 0);
    EXPECT_EQ(vull_back_page, nullptr);
    vull_blit_back_page();
    ASSERT_EQ(vull_set_screen(0, 0, 8, 4), 0);

    // Leaving full screen later brings back that window, not a 0 x 0 one.
    cconfig.fullscreen_size[0] = 800;
    cconfig.fullscreen_size[1] = 600;
    vull_toggle_fullscreen();
    vull_toggle_fullscreen();
    ASSERT_EQ(vull_screen_mode, 0);
    expect_window_size(384, 216);
}

// A window SDL refuses ends the program with the fatal error on both paths,
// instead of carrying on without a window.
TEST_F(VideoTest, NoWindowIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int soft : {0, 1}) {
        cconfig.software_blit = soft;
        vull_set_window_size(40000, 40000);
        EXPECT_EXIT(vull_set_screen(128, 128, 8, 4), ::testing::ExitedWithCode(1), "")
            << "software " << soft;
    }
}

TEST_F(VideoTest, HeadlessAndOddPictures) {
    cconfig.headless = 1;
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    EXPECT_EQ(sdl_window, nullptr);
    vull_toggle_fullscreen();
    EXPECT_EQ(vull_screen_mode, 0);
    update_sdl_window_title("no window");
    update_sdl_window_title(nullptr);
    vull_blit_to_video_plat(vull_back_page, vull_screen, 0, 0, 0, 0);
    EXPECT_EQ(vull_flip_screen(), 1);

    // Depths other than 8 and 32 and offset blits are not presented (and must not be read).
    cconfig.headless = 0;
    vull_set_window_size(200, 200);
    ASSERT_EQ(vull_set_screen(64, 64, 8, 4), 0);
    vull_bitmap *odd = vull_create_bitmap(64, 64, 16);
    vull_blit_to_video_plat(odd, vull_screen, 0, 0, 0, 0);
    vull_destroy_bitmap(odd);
    vull_blit_to_video_plat(vull_back_page, vull_screen, 1, 0, 0, 0);
    vull_blit_to_video_plat(nullptr, vull_screen, 0, 0, 0, 0);
    update_sdl_window_title("zibo-6 test");
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_window), "zibo-6 test");
}

// The window reads the engine's options and state where they live: an option
// not handed down would read as 0 with no other sign.
TEST_F(VideoTest, WindowSettingsAreTheEnginesLiveFields) {
    const vull_plat_settings &p = vull_plat_config;
    vull_config_rec &c = cconfig;
    const void *pairs[][2] = {
        {p.headless, &c.headless},
        {p.framebuffer, &c.framebuffer},
        {p.windowed, &c.windowed},
        {p.frameless, &c.frameless},
        {p.display, &c.display},
        {p.fullscreen_method, &c.fullscreen_method},
        {p.opengl_blit, &c.opengl_blit},
        {p.keep_aspect, &c.keep_aspect},
        {p.show_fps, &c.show_fps},
        {p.log_system_info, &c.log_system_info},
        {p.ext_display, &c.ext_display},
        {p.window_position, c.window_position},
        {p.fullscreen_size, c.fullscreen_size},
        {p.draw_rect, c.draw_rect},
        {p.window_size, c.window_size},
        {p.software_blit, &c.software_blit},
        {p.pixel_perfect, &c.pixel_perfect},
        {p.window_size_set, &vull_state.window_size_set},
        {p.window_title, &vull_state.window_title_ptr},
        {p.log_file, &vull_state.log_file},
        {reinterpret_cast<const void *>(p.blit_hook), &vull_state.blit_hook},
    };
    for (size_t i = 0; i < std::size(pairs); i++)
        EXPECT_EQ(pairs[i][0], pairs[i][1]) << "entry " << i;
}

// Video exit takes the engine's pictures that go with it: the cursor and the
// enlarged copy of a pre-blit scaled page.
TEST_F(VideoTest, ExitReleasesEveryPicture) {
    vull_video_exit();
    const int live = vull_items_created;
    vull_video_init();
    vull_mouse_init();
    cconfig.pixel_perfect = 0;
    cconfig.preblit_scale = 2;
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    vull_blit_back_page();
    ASSERT_NE(fattened_back_page, nullptr);
    ASSERT_NE(vull_mouse_bmp, nullptr);
    vull_video_exit();
    EXPECT_EQ(fattened_back_page, nullptr);
    EXPECT_EQ(vull_mouse_bmp, nullptr);
    EXPECT_EQ(vull_palette, nullptr);
    EXPECT_EQ(vull_items_created, live);
    vull_video_init(); // for TearDown
}

TEST_F(VideoTest, FrameClock) {
    vull_register_frame_start_for_fps();
    vull_register_frame_end_for_fps();
    EXPECT_GE(vull_get_fps(), 1);
    EXPECT_LE(vull_get_fps(), 1000);
}

} // namespace
