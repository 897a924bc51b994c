// Damaged text carts: every truncation of a valid file and seeded random
// mutations. Each either loads or is refused with a status; nothing reads out
// of bounds or leaks (the sanitizers watch), and a cut inside the header is
// always refused.
#include "tests/cart/cart_test_util.h"

#include <random>

using namespace cart_test;

namespace {

// Small carts, so that every cut point can be tried: one with every section
// but the label, one with the label alone (its 128 rows make it long).
std::string compact_cart_text() {
    cart_ptr c(vull_create_zibo6_cart());
    std::strcpy(c->code, "-- \x80\x81\x9a\xcc\xfe\x7f glyphs\nfunction _draw()\n cls(1)\nend");
    for (int x = 0; x < 128; x++) c->sprites->rows[2][x] = uint8_t(x & 15);
    c->sprite_flags[200] = 0x81;
    c->map->rows[1][5] = 0x42;
    c->sfx[3].note[4].pitch = 33;
    c->sfx[3].note[4].custom = 128;
    c->music[2][1] = 3;
    c->change_mask[17] = 0;
    return write_text(c.get());
}

std::string label_cart_text() {
    cart_ptr c(vull_create_zibo6_cart());
    c->label = vull_create_bitmap(128, 128, 8);
    c->label->rows[64][64] = 130;
    return write_text(c.get());
}

size_t header_end(const std::string &text) { return text.find('\n', text.find('\n') + 1) + 1; }

void expect_cut_loads(const std::string &text, size_t len) {
    cart_ptr c = read_text(text.substr(0, len));
    if (len < header_end(text)) {
        ASSERT_FALSE(c) << "cut at " << len << " inside the header loaded";
        return;
    }
    ASSERT_TRUE(c) << "cut at " << len;
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_OK);
    EXPECT_EQ(c->version, 33);
}

} // namespace

TEST(TextCartHostile, EveryTruncation) {
    const std::string text = compact_cart_text();
    for (size_t len = 0; len <= text.size(); len++) expect_cut_loads(text, len);
    // The label's rows are alike: every cut in its first and last rows, and at
    // and around every line end in between.
    const std::string label = label_cart_text();
    const size_t rows_from = label.find("__label__");
    for (size_t len = 0; len <= label.size(); len++)
        if (len < rows_from + 400 || len + 400 > label.size() || label[len] == '\n' ||
            label[len - 1] == '\n')
            expect_cut_loads(label, len);
}

TEST(TextCartHostile, SeededMutations) {
    const std::string text = compact_cart_text();
    std::mt19937 rng(20261209);
    const char interesting[] = {'\n', '\r', 0, '_', '#', 'z', 'f', 'g', '\xff', '\xe3', ' '};
    int loaded = 0;
    for (int round = 0; round < 600; round++) {
        std::string m = text;
        int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; e++) {
            size_t at = rng() % m.size();
            switch (rng() % 4) {
            case 0: m[at] = char(rng()); break;
            case 1: m[at] = interesting[rng() % sizeof interesting]; break;
            case 2: m.erase(at, rng() % 300); break;
            default: m.insert(at, m.substr(rng() % m.size(), rng() % 400)); break;
            }
            if (m.empty()) m = "z";
        }
        cart_ptr c = read_text(m);
        if (!c) continue;
        loaded++;
        // What loads is a cart the writer can save and the reader take back.
        std::string again = write_text(c.get());
        EXPECT_TRUE(read_text(again)) << "round " << round;
    }
    EXPECT_GT(loaded, 100);
}

TEST(TextCartHostile, LongAndOddLines) {
    // Data lines as long as the line buffer takes in every section, lines of
    // NULs and lines of 0xff.
    std::string big(ZIBO6_TEXT_LINE_MAX, 'f');
    std::string text = header() + "__gfx__\n" + big + "\n__map__\n" + big + "\n__label__\n" + big +
                       "\n__sfx__\n" + big + "\n__music__\n" + big + "\n__gff__\n" + big +
                       "\n__change_mask__\n" + big + "\n";
    text += "__lua__\n" + std::string(100, '\0') + "\n\xff\xff\xffx\n";
    cart_ptr c = read_text(text);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->sprites->rows[0][127], 15);
    EXPECT_EQ(c->map->rows[0][127], 0xFF);
    EXPECT_EQ(c->change_mask[ZIBO6_CHANGE_MASK_SIZE - 1], 0xFF);
    EXPECT_EQ(c->sfx[0].note[31].pitch, 63);
}

TEST(TextCartHostile, ALinePastTheBufferIsRefused) {
    // one character more than the buffer holds: refused, in code as too long
    std::string line(ZIBO6_TEXT_LINE_MAX + 1, 'a');
    EXPECT_FALSE(read_text(header() + "__gfx__\n" + line + "\n"));
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_OK);
    EXPECT_FALSE(read_text(header() + "__lua__\n" + line + "\n"));
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_CODE_TOO_LONG);
    EXPECT_FALSE(read_text(line + "\nversion 33\n"));
}
