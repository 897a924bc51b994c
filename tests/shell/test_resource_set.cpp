// The resource set of data.pod as the build makes it, against the places and
// sizes at which the shell draws each picture: the palette that PNG labels
// must survive, the title that names folders, the icons, spinners, pointers
// and pictures of the pause menu, key configuration and controls pages, the
// font's ampersand and the boot sound.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "console/display.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "shell/zibo6.h"

namespace {

constexpr int SCREEN = 128;

class ResourceSet : public ::testing::Test {
protected:
    void SetUp() override {
        const char *dir = std::getenv("ZIBO6_BINARY_DIR");
        std::string path = std::string(dir ? dir : ".") + "/data.pod";
        vull_file *f = vull_fopen(path.c_str(), "rb");
        cpod *pod = f ? vull_load_pod_file("", f) : nullptr;
        if (f) vull_fclose(f);
        ASSERT_TRUE(open_data_file(pod)) << "data.pod was not built: " << path;
    }
    void TearDown() override { close_data_file(); }

    static vull_bitmap *picture(int slot) {
        return static_cast<vull_bitmap *>(cpod_get_item(pstate.resource_pod, slot, CPOD_BITMAP));
    }
    static const vull_palette_rec *palette() {
        return static_cast<vull_palette_rec *>(
            cpod_get_item(pstate.resource_pod, RES_PALETTE, CPOD_PALETTE));
    }
};

// The 32 colours a screen can show: 0-15 and the extended 128-143.
std::vector<int> screen_colours() {
    std::vector<int> c;
    for (int i = 0; i < 16; i++) c.push_back(i);
    for (int i = 0; i < 16; i++) c.push_back(128 + i);
    return c;
}

TEST_F(ResourceSet, PaletteColoursStayApartThroughAPngLabel) {
    const vull_palette_rec *pal = palette();
    ASSERT_NE(pal, nullptr);
    std::vector<int> colours = screen_colours();
    for (size_t i = 0; i < colours.size(); i++)
        for (size_t j = i + 1; j < colours.size(); j++) {
            const vull_rgb &a = pal->entry[colours[i]], &b = pal->entry[colours[j]];
            bool apart =
                std::abs(a.r - b.r) > 3 || std::abs(a.g - b.g) > 3 || std::abs(a.b - b.b) > 3;
            EXPECT_TRUE(apart) << "colours " << colours[i] << " and " << colours[j];
        }

    // A label pixel keeps the top six bits of each channel and carries cart
    // bytes in the low two: every such pixel must read back as its colour.
    vull_bitmap *label = vull_create_bitmap(64, int(colours.size()), 32);
    vull_bitmap *read = vull_create_bitmap(64, int(colours.size()), 8);
    for (size_t y = 0; y < colours.size(); y++)
        for (int v = 0; v < 64; v++) {
            const vull_rgb &c = pal->entry[colours[y]];
            uint32_t p = 0xff000000u | uint32_t((c.r & 0xfc) | (v >> 4 & 3)) << 16 |
                         uint32_t((c.g & 0xfc) | (v >> 2 & 3)) << 8 |
                         uint32_t((c.b & 0xfc) | (v & 3));
            std::memcpy(label->rows[y] + 4 * v, &p, 4);
        }
    zibo6_convert_bitmap(label, read, pal->entry);
    for (size_t y = 0; y < colours.size(); y++)
        for (int v = 0; v < 64; v++) ASSERT_EQ(read->rows[y][v], colours[y]) << "data bits " << v;
    vull_destroy_bitmap(label);
    vull_destroy_bitmap(read);
}

TEST_F(ResourceSet, TitleIsASafeFolderName) {
    auto *title =
        static_cast<vull_file *>(cpod_get_item(pstate.resource_pod, RES_TITLE, CPOD_FILE));
    ASSERT_NE(title, nullptr);
    std::string name(reinterpret_cast<const char *>(title->data), size_t(title->length));
    EXPECT_EQ(name, "zibo-6");
    ASSERT_FALSE(name.empty());
    EXPECT_NE(name[0], '.');
    for (char c : name)
        EXPECT_TRUE(std::islower(uint8_t(c)) || std::isdigit(uint8_t(c)) || c == '-' || c == '_')
            << "'" << c << "' in the title";
}

// Every picture a screen draws, at the size it is drawn: 0 means any size up
// to the screen.
struct slot_size {
    int first, last, w, h, bpp;
};
constexpr slot_size DRAWN[] = {
    {2, 2, 40, 10, 8},        // logo, copied 40x10 by the boot
    {6, 6, 128, 128, 32},     // window icon
    {89, 89, 0, 0, 8},        // mouse pointer, centred on the mouse
    {145, 145, 160, 205, 32}, // PNG cart template
    {168, 175, 0, 0, 8},      // key configuration pictures
    {176, 178, 7, 7, 8},      // browser item icons: board cart, cart, kiosk list
    {180, 181, 7, 7, 8},      // PNG cart file, folder
    {185, 185, 7, 7, 8},      // parent folder
    {187, 194, 7, 7, 8},      // list icons (188 also the pause menu's heart)
    {212, 223, 12, 12, 8},    // spinner
    {226, 226, 15, 15, 8},    // devkit mouse
    {227, 227, 17, 15, 8},    // devkit keyboard
    {229, 244, 12, 12, 8},    // download spinner
    {245, 245, 7, 7, 8},      // menu pointer
    {246, 246, 0, 0, 8},      // controls picture
    {247, 248, 7, 7, 8},      // button at rest and held
    {249, 249, 0, 0, 32},     // TV glow
};

TEST_F(ResourceSet, EveryDrawnPictureIsThereAtItsSize) {
    for (const slot_size &s : DRAWN)
        for (int slot = s.first; slot <= s.last; slot++) {
            vull_bitmap *b = picture(slot);
            ASSERT_NE(b, nullptr) << "no picture in slot " << slot;
            EXPECT_EQ(b->bpp, s.bpp) << "slot " << slot;
            if (s.w) {
                EXPECT_EQ(b->width, s.w) << "slot " << slot;
                EXPECT_EQ(b->height, s.h) << "slot " << slot;
            } else {
                EXPECT_LE(b->width, SCREEN) << "slot " << slot;
                EXPECT_LE(b->height, SCREEN) << "slot " << slot;
            }
        }
}

// A picture of 8-bit indices draws only colours 0-15; 0 is transparent, so a
// picture drawn alone must show something.
TEST_F(ResourceSet, PicturesUseScreenColoursAndShowSomething) {
    for (const slot_size &s : DRAWN)
        for (int slot = s.first; slot <= s.last; slot++) {
            vull_bitmap *b = picture(slot);
            if (!b || b->bpp != 8) continue;
            int lit = 0;
            for (int y = 0; y < b->height; y++)
                for (int x = 0; x < b->width; x++) {
                    EXPECT_LT(b->rows[y][x], 16) << "slot " << slot << " at " << x << "," << y;
                    lit += b->rows[y][x] != 0;
                }
            EXPECT_GT(lit, 0) << "slot " << slot << " is empty";
        }
}

TEST_F(ResourceSet, PagePicturesLeaveRoomForTheirText) {
    // Key configuration pictures at (6,8); the prompt starts at x 60 and the
    // binding rows at y 44.
    for (int slot = 168; slot <= 175; slot++) {
        vull_bitmap *b = picture(slot);
        ASSERT_NE(b, nullptr);
        EXPECT_LE(6 + b->width, 60) << "slot " << slot;
        EXPECT_LE(8 + b->height, 44) << "slot " << slot;
    }
    // The controls picture is centred and framed; the joystick count line (up
    // to "8 joysticks detected", 4 pixels a character, 5 high) sits inside it.
    vull_bitmap *c = picture(246);
    ASSERT_NE(c, nullptr);
    int w = c->width, h = c->height;
    EXPECT_LE(w, SCREEN - 2);
    EXPECT_LE(h, SCREEN - 2);
    int text_x = 69 - w / 2, text_y = 144 - h / 2;
    EXPECT_GE(text_x, 64 - w / 2);
    EXPECT_LE(text_x + 4 * int(std::strlen("8 joysticks detected")), 63 + w / 2);
    EXPECT_LE(text_y + 5, 63 + h / 2);
    // The lowest button indicators (7x7, one pixel lower when held).
    EXPECT_LE(116 - h / 2 + 7, 63 + h / 2);
}

// The PNG cart writer puts two code lines in near-white (0xfff8f0) at y 167
// and 175 and the console's name in grey (0xa0a0a0) at y 187, from x 18, up
// to 31 characters of 4 pixels: the template behind them must let both show.
TEST_F(ResourceSet, CartTemplateTextLinesAreReadable) {
    vull_bitmap *t = picture(145);
    ASSERT_NE(t, nullptr);
    auto luma = [](uint32_t c) {
        return (299 * int(c >> 16 & 255) + 587 * int(c >> 8 & 255) + 114 * int(c & 255)) / 1000;
    };
    const int light = luma(0xfff8f0), grey = luma(0xa0a0a0);
    for (int line_y : {167, 175, 187})
        for (int y = line_y; y < line_y + 5; y++)
            for (int x = 18; x < 18 + 31 * 4; x++) {
                uint32_t c;
                std::memcpy(&c, t->rows[y] + 4 * x, 4);
                ASSERT_EQ(c >> 24, 255u) << "transparent at " << x << "," << y;
                ASSERT_GT(std::abs(luma(c) - light), 64) << x << "," << y;
                ASSERT_GT(std::abs(luma(c) - grey), 32) << x << "," << y;
            }
}

TEST_F(ResourceSet, HeartShowsWhetherTheCartIsAFavourite) {
    // Colour 7 of the heart is drawn as 13 when the cart is no favourite.
    vull_bitmap *heart = picture(188);
    ASSERT_NE(heart, nullptr);
    int sevens = 0;
    for (int y = 0; y < heart->height; y++)
        for (int x = 0; x < heart->width; x++) sevens += heart->rows[y][x] == 7;
    EXPECT_GT(sevens, 0);
}

TEST_F(ResourceSet, GlowIsReadAtBothEdges) {
    vull_bitmap *glow = picture(249);
    ASSERT_NE(glow, nullptr);
    EXPECT_GE(glow->width, 2) << "the frame reads x 1 and width - 2";
    EXPECT_GE(glow->height, 1);
}

TEST_F(ResourceSet, AmpersandIsAtLeastThreeByFive) {
    auto *g =
        static_cast<vull_bitmap *>(cpod_get_item(pstate.font_pod, FONT_AMPERSAND, CPOD_BITMAP));
    ASSERT_NE(g, nullptr);
    int x0 = g->width, y0 = g->height, x1 = -1, y1 = -1;
    for (int y = 0; y < g->height; y++)
        for (int x = 0; x < g->width; x++)
            if (g->rows[y][x]) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    EXPECT_GE(x1 - x0 + 1, 3);
    EXPECT_GE(y1 - y0 + 1, 5);
}

TEST_F(ResourceSet, BootSoundIsShortAndEnds) {
    const zibo6_sfx &s = pstate.bios_cart->sfx[0];
    int last = -1;
    for (int i = 0; i < ZIBO6_NOTE_COUNT; i++)
        if (s.note[i].volume) last = i;
    ASSERT_GE(last, 0) << "the boot sound is silent";
    EXPECT_LE(s.loop_end, s.loop_start) << "the boot sound must not loop";
    // A note lasts speed ticks of 183 samples at 22050 Hz.
    double seconds = (last + 1) * s.speed * 183 / 22050.0;
    EXPECT_GE(seconds, 0.1);
    EXPECT_LE(seconds, 2.0);
}

} // namespace
