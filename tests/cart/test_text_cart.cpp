// The text cart: header and version rules, each section's reading and
// writing, load statuses, and writer output read back unchanged.
#include "tests/cart/cart_test_util.h"

#include <unistd.h>

#include <random>

#include "console/mem.h"
#include "engine/config.h"

using namespace cart_test;

namespace {

// The lines of a text, without their ends.
std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

} // namespace

TEST(TextCartWriter, CodeOnlyCartHasHeaderVersionAndCode) {
    cart_ptr c(vull_create_zibo6_cart());
    std::strcpy(c->code, "print(1)\nprint(2)");
    std::string text = write_text(c.get());
    EXPECT_EQ(text, header() + "__lua__\nprint(1)\nprint(2)\n");
    EXPECT_EQ(write_text(c.get(), 1), "__lua__\nprint(1)\nprint(2)\n");
    cart_ptr back = read_text(text);
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "print(1)\nprint(2)");
    EXPECT_EQ(back->version, 33);
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_OK);
}

TEST(TextCartWriter, EmptyCartIsHeaderOnly) {
    cart_ptr c(vull_create_zibo6_cart());
    EXPECT_EQ(write_text(c.get()), header());
}

TEST(TextCartWriter, SectionsStopAtTheirLastUsedRow) {
    cart_ptr c(vull_create_zibo6_cart());
    c->sprites->rows[5][127] = 3;
    c->sprites->rows[0][0] = 200; // values above 15 are written as f
    c->map->rows[2][1] = 0xAB;
    c->music[9][3] = 0x40; // channel 3 alone differs
    c->sfx[0].speed = 16;  // sfx 0 at the others' default speed is not empty
    std::vector<std::string> l = lines_of(write_text(c.get()));
    auto at = [&](const char *name) {
        return size_t(std::find(l.begin(), l.end(), name) - l.begin());
    };
    size_t gfx = at("__gfx__"), map = at("__map__"), sfx = at("__sfx__"), music = at("__music__");
    ASSERT_LT(music, l.size());
    EXPECT_EQ(map - gfx - 1, 6u); // rows 0-5
    EXPECT_EQ(l[gfx + 1][0], 'f');
    EXPECT_EQ(l[gfx + 6], std::string(127, '0') + "3");
    EXPECT_EQ(sfx - map - 1, 3u);
    EXPECT_EQ(l[map + 3].substr(0, 4), "00ab");
    EXPECT_EQ(music - sfx - 1, 1u);
    EXPECT_EQ(l[sfx + 1].size(), 168u);
    EXPECT_EQ(l[sfx + 1].substr(0, 8), "00100000");
    EXPECT_EQ(l.size() - music - 1, 11u); // patterns 0-9 and an empty line
    EXPECT_EQ(l[music + 10], "00 41424340");
    EXPECT_EQ(l[music + 11], "");
    EXPECT_EQ(at("__label__"), l.size());
    EXPECT_EQ(at("__gff__"), l.size());
    EXPECT_EQ(at("__change_mask__"), l.size());

    cart_ptr empty_sfx0(vull_create_zibo6_cart());
    EXPECT_EQ(write_text(empty_sfx0.get()).find("__sfx__"), std::string::npos);
}

TEST(TextCartWriter, OutOfRangeValuesAreClamped) {
    cart_ptr c(vull_create_zibo6_cart());
    zibo6_sfx &s = c->sfx[1];
    s.filters = 0x35; // bit 0 is not a filter: the flag takes its place
    s.flag = 7;
    s.speed = 300;
    s.loop_start = -4;
    s.note[0].pitch = -1;
    s.note[1].pitch = 99;
    s.note[2].instrument = 9;
    s.note[2].custom = 128;
    s.note[3].volume = -1;
    s.note[4].effect = 12;
    std::string text = write_text(c.get());
    std::string line = lines_of(text)[4];
    EXPECT_EQ(line.substr(0, 8), "35ff0000");
    EXPECT_EQ(line.substr(8, 5), "00000");
    EXPECT_EQ(line.substr(13, 5), "3f000");
    EXPECT_EQ(line.substr(18, 5), "00f00");
    EXPECT_EQ(line.substr(23, 5), "00000");
    EXPECT_EQ(line.substr(28, 5), "00007");
}

TEST(TextCartRoundTrip, EverySectionReadsAndWritesBackUnchanged) {
    cart_ptr c = full_cart();
    std::string text = write_text(c.get());
    cart_ptr back = read_text(text);
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, c->code);
    EXPECT_EQ(std::memcmp(back->sprites->pixels, c->sprites->pixels, 128 * 128), 0);
    EXPECT_EQ(std::memcmp(back->map->pixels, c->map->pixels, 128 * 32), 0);
    ASSERT_TRUE(back->label);
    EXPECT_EQ(std::memcmp(back->label->pixels, c->label->pixels, 128 * 128), 0);
    EXPECT_EQ(std::memcmp(back->sprite_flags, c->sprite_flags, sizeof c->sprite_flags), 0);
    EXPECT_EQ(std::memcmp(back->sfx, c->sfx, sizeof c->sfx), 0);
    EXPECT_EQ(std::memcmp(back->music, c->music, sizeof c->music), 0);
    EXPECT_EQ(std::memcmp(back->pattern_flags, c->pattern_flags, sizeof c->pattern_flags), 0);
    EXPECT_EQ(std::memcmp(back->change_mask, c->change_mask, sizeof c->change_mask), 0);
    EXPECT_EQ(write_text(back.get()), text);
}

TEST(TextCartRoundTrip, SfxHoldingOnlyFilterBitsKeepsThem) {
    cart_ptr c(vull_create_zibo6_cart());
    ASSERT_TRUE(c);
    c->sfx[1].speed = 9;
    c->sfx[5].filters = 0x10;
    cart_ptr back = read_text(write_text(c.get()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sfx[1].speed, 9);
    EXPECT_EQ(back->sfx[5].filters, 0x10);
    EXPECT_EQ(std::memcmp(back->sfx, c->sfx, sizeof c->sfx), 0);
}

TEST(TextCartRoundTrip, TrailingNewlinesOfCodeSurvive) {
    for (const char *code : {"a\n", "a\n\n", "\n", "x = 1\n-- end\n"}) {
        cart_ptr c(vull_create_zibo6_cart());
        std::strcpy(c->code, code);
        cart_ptr back = read_text(write_text(c.get()));
        ASSERT_TRUE(back);
        EXPECT_STREQ(back->code, code);
    }
}

TEST(TextCartRoundTrip, LineLongerThanAnyFixedBufferStaysWhole) {
    // Character 142 is the widest glyph: 7 UTF-8 bytes, so this line is 350,000 bytes.
    cart_ptr c(vull_create_zibo6_cart());
    std::string code = "x" + std::string(50000, char(142)) + "y\nz";
    std::strcpy(c->code, code.c_str());
    std::string text = write_text(c.get());
    EXPECT_GT(text.size(), 350000u);
    cart_ptr back = read_text(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::string(back->code), code);
}

TEST(TextCartRoundTrip, SaveToPathAndLoad) {
    std::string dir = std::string(getenv("HOME") ? getenv("HOME") : "/tmp");
    std::string path = dir + "/round_trip_" + std::to_string(getpid()) + ".z6";
    cart_ptr c = full_cart();
    ASSERT_EQ(vull_save_zibo6_cart(c.get(), path.c_str()), 0);
    cart_ptr back(vull_load_zibo6_cart(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, c->code);
    std::remove(path.c_str());
    EXPECT_EQ(vull_load_zibo6_cart(path.c_str()), nullptr);
}

TEST(TextCartWriter, FailedWritesAreReported) {
    cart_ptr c = full_cart();
    EXPECT_EQ(vull_save_zibo6_cart(c.get(), "/nonexistent-folder/x.z6"), 1);
    // A full disk shows only when the buffered text is flushed.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(vull_save_zibo6_cart(c.get(), "/dev/full"), 1);
    }
    char small[64];
    vull_file *f = vull_fopen_memory(small, sizeof small);
    EXPECT_EQ(vull_save_zibo6_cart_to_file(c.get(), f, 0), 1);
    vull_fclose(f);
}

TEST(TextCartHeader, AcceptedAndRefusedHeaders) {
    const std::string body = "__lua__\nx=1\n";
    // A byte-order mark (or anything without a 'z') before the header is skipped.
    cart_ptr bom = read_text("\xEF\xBB\xBF" + header() + body);
    ASSERT_TRUE(bom);
    EXPECT_STREQ(bom->code, "x=1");
    EXPECT_TRUE(read_text("\r\n" + body) == nullptr);
    for (const std::string &bad :
         {std::string(""), std::string("\n"), "other cartridge\nversion 33\n" + body,
          "zibo-6 cartridgf\nversion 33\n" + body,
          "a pizza: zibo-6 cartridge\nversion 33\n" + body}) {
        EXPECT_FALSE(read_text(bad)) << bad;
        EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_OK);
    }
    // A missing or unreadable version line gives version 0.
    cart_ptr v0 = read_text("zibo-6 cartridge\nversion x\n" + body);
    ASSERT_TRUE(v0);
    EXPECT_EQ(v0->version, 0);
    // CR and CR LF line ends.
    cart_ptr crlf = read_text("zibo-6 cartridge\r\nversion 12\r__lua__\r\nx=1\r\ny=2\r\n");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->version, 12);
    EXPECT_STREQ(crlf->code, "x=1\ny=2");
}

TEST(TextCartHeader, FutureVersionsNeedAcceptance) {
    std::string text = header(34) + "__lua__\nx=1\n";
    cconfig.accept_future = 0;
    EXPECT_FALSE(read_text(text));
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_FUTURE_VERSION);
    cconfig.accept_future = 1;
    cart_ptr c = read_text(text);
    cconfig.accept_future = 0;
    ASSERT_TRUE(c);
    EXPECT_EQ(c->version, 34);
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_OK);
}

TEST(TextCartHeader, LenientReadTakesAHeaderlessFirstLineAsData) {
    cart_ptr c = read_text("__lua__\nx=1\n", 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->version, 33);
    EXPECT_STREQ(c->code, "x=1");
    EXPECT_FALSE(read_text("__lua__\nx=1\n", 0));
}

TEST(TextCartCode, LengthLimit) {
    std::string ok(ZIBO6_CODE_MAX, 'a');
    cart_ptr c = read_text(header() + "__lua__\n" + ok + "\n");
    ASSERT_TRUE(c);
    EXPECT_EQ(std::strlen(c->code), size_t(ZIBO6_CODE_MAX));
    // Counted in console characters: a glyph of several UTF-8 bytes counts once.
    std::string glyphs;
    for (int i = 0; i < ZIBO6_CODE_MAX; i++) glyphs += "\xE2\x97\x8B"; // character 127
    EXPECT_TRUE(read_text(header() + "__lua__\n" + glyphs + "\n"));
    EXPECT_FALSE(read_text(header() + "__lua__\n" + ok + "\nb\n"));
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_CODE_TOO_LONG);
    EXPECT_FALSE(read_text(header() + "__lua__\n" + ok + "a\n"));
    EXPECT_EQ(zibo6_cart_load_status, ZIBO6_LOAD_CODE_TOO_LONG);
}

TEST(TextCartCode, LastLineWithoutNewlineKeepsItsLastCharacter) {
    cart_ptr c = read_text(header() + "__lua__\nprint(1)");
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "print(1)");
}

TEST(TextCartCode, EndMarkAndSectionsSplitTheFile) {
    cart_ptr c = read_text(header() + "ignored before any section\n__lua__\na\n__gfx__\n1\n"
                                      "__lua__\nb\n##end_z6\n__lua__\nc\n");
    ASSERT_TRUE(c);
    // A repeated section continues where it left off.
    EXPECT_STREQ(c->code, "a\nb");
    EXPECT_EQ(c->sprites->rows[0][0], 1);
}

TEST(TextCartSections, GraphicsFlagsAndMapDigits) {
    cart_ptr c = read_text(header() + "__gfx__\n0af\n" + "__gfx__\nzA9\n" + "__gff__\n01ff7\n" +
                           "__map__\nfe0\n");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->sprites->rows[0][1], 10);
    EXPECT_EQ(c->sprites->rows[0][2], 15);
    EXPECT_EQ(c->sprites->rows[0][3], 0); // missing characters are 0
    EXPECT_EQ(c->sprites->rows[1][0], 0); // other characters too (capitals included)
    EXPECT_EQ(c->sprites->rows[1][1], 0);
    EXPECT_EQ(c->sprites->rows[1][2], 9);
    EXPECT_EQ(c->sprite_flags[0], 1);
    EXPECT_EQ(c->sprite_flags[1], 255);
    EXPECT_EQ(c->sprite_flags[2], 0x70);
    EXPECT_EQ(c->map->rows[0][0], 0xFE);
    EXPECT_EQ(c->map->rows[0][1], 0);
    // Up to version 2, flags were one hex digit each.
    cart_ptr old = read_text(header(2) + "__gff__\n01f\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->sprite_flags[1], 1);
    EXPECT_EQ(old->sprite_flags[2], 15);
}

TEST(TextCartSections, LabelCharacters) {
    cart_ptr c = read_text(header() + "__label__\ngV#09avAq\n");
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->label);
    const uint8_t *row = c->label->rows[0];
    EXPECT_EQ(row[0], 128);
    EXPECT_EQ(row[1], 143);
    EXPECT_EQ(row[2], 0);
    EXPECT_EQ(row[3], 0);
    EXPECT_EQ(row[4], 9);
    EXPECT_EQ(row[5], 10);
    EXPECT_EQ(row[6], 143);
    EXPECT_EQ(row[7], 10);
    EXPECT_EQ(row[8], 128 + 10);
    EXPECT_FALSE(read_text(header() + "__lua__\nx\n")->label);
}

TEST(TextCartSections, SfxNotes) {
    // Header 0x0f: filters 0x0e, flag 1. Notes: instrument digit 8 is instrument 0
    // with the custom flag; effect digit f is effect 7 with the custom flag.
    std::string line = "0f201f04" + std::string("3c835") + "7f0ff" + "12345";
    cart_ptr c = read_text(header() + "__sfx__\n" + line + "\n");
    ASSERT_TRUE(c);
    const zibo6_sfx &s = c->sfx[0];
    EXPECT_EQ(s.filters, 0x0E);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.speed, 0x20);
    EXPECT_EQ(s.loop_start, 0x1F);
    EXPECT_EQ(s.loop_end, 4);
    EXPECT_EQ(s.note[0].pitch, 0x3C);
    EXPECT_EQ(s.note[0].instrument, 0);
    EXPECT_EQ(s.note[0].custom, 128);
    EXPECT_EQ(s.note[0].volume, 3);
    EXPECT_EQ(s.note[0].effect, 5);
    EXPECT_EQ(s.note[1].pitch, 0x3F); // 0x7f keeps its low 6 bits
    EXPECT_EQ(s.note[1].effect, 7);
    EXPECT_EQ(s.note[1].custom, 128);
    EXPECT_EQ(s.note[2].pitch, 0x12);
    EXPECT_EQ(s.note[2].instrument, 3);
    EXPECT_EQ(s.note[2].custom, 0);
    EXPECT_EQ(s.note[3].pitch, 0); // missing notes stay zero
    // A field that does not parse keeps its value: sfx 1 keeps speed 16.
    cart_ptr d = read_text(header() + "__sfx__\n" + line + "\n01zz\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->sfx[1].flag, 1);
    EXPECT_EQ(d->sfx[1].speed, 16);
}

TEST(TextCartSections, MusicByVersion) {
    std::string lines = "__music__\n03 00000000\n00 01020304\n";
    cart_ptr now = read_text(header() + lines);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->pattern_flags[0], 3);
    for (int ch = 0; ch < 4; ch++) EXPECT_EQ(now->music[0][ch], 0);
    EXPECT_EQ(now->music[1][3], 4);
    // Before version 4 an unused channel was written as 0.
    cart_ptr v3 = read_text(header(3) + lines);
    ASSERT_TRUE(v3);
    for (int ch = 0; ch < 4; ch++) EXPECT_EQ(v3->music[0][ch], 0x41);
    // Up to version 2 a line is the four channels alone.
    cart_ptr v2 = read_text(header(2) + "__music__\n05060708\n");
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->pattern_flags[0], 0);
    EXPECT_EQ(v2->music[0][0], 5);
    EXPECT_EQ(v2->music[0][3], 8);
    // Missing channels keep their defaults.
    cart_ptr part = read_text(header() + "__music__\n01 0a\n");
    ASSERT_TRUE(part);
    EXPECT_EQ(part->music[0][0], 10);
    EXPECT_EQ(part->music[0][1], 0x42);
}

TEST(TextCartSections, ChangeMaskAndExtraRows) {
    std::string mask(ZIBO6_CHANGE_MASK_SIZE * 2, '0');
    mask.replace(0, 4, "a5ff");
    std::string gfx;
    for (int i = 0; i < 140; i++) gfx += "1\n"; // rows past 128 are ignored
    cart_ptr c =
        read_text(header() + "__change_mask__\n" + mask.substr(0, 100) + "\n__gfx__\n" + gfx);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->change_mask[0], 0xA5);
    EXPECT_EQ(c->change_mask[1], 0xFF);
    EXPECT_EQ(c->change_mask[2], 0);
    EXPECT_EQ(c->change_mask[ZIBO6_CHANGE_MASK_SIZE - 1], 0); // cut short: zeros
    EXPECT_EQ(c->sprites->rows[127][0], 1);
}

// The stored cart with every section is what the writer makes today; the tool
// tests convert it byte for byte. A mismatch leaves the writer's text beside
// the build for a look.
// The kept text of a cart stored into a byte at a time reads after every store as the writer
// writes the cart, whether lines change in place or sections grow and shrink.
TEST(TextCartWriter, DraftKeepsStepWithTheWriter) {
    for (bool full : {true, false}) {
        cart_ptr c = full ? full_cart() : cart_ptr(vull_create_zibo6_cart());
        zibo6_text_draft *d = zibo6_text_draft_create(c.get());
        std::mt19937 rng(full ? 1 : 2);
        for (int i = 0; i < 300; i++) {
            int a = int(rng() % 0x4400) - 0x80, n = 1 + int(rng() % 70); // some wrap past 0xffff
            for (int k = 0; k < n; k++) zibo6_poke(nullptr, c.get(), a + k, int(rng() % 256));
            if (i % 7 == 0) c->change_mask[rng() % sizeof c->change_mask] = uint8_t(rng());
            ASSERT_EQ(zibo6_text_draft_update(d, c.get(), a, n), write_text(c.get())) << i;
        }
        for (int a = 0; a < 0x4300; a++) zibo6_poke(nullptr, c.get(), a, 0); // all sections go
        EXPECT_EQ(zibo6_text_draft_update(d, c.get(), 0, 0x4300), write_text(c.get()));
        zibo6_text_draft_destroy(d);
    }
}

TEST(TextCartRoundTrip, StoredCartMatchesTheWriter) {
    const char *src = getenv("ZIBO6_SOURCE_DIR");
    const char *bin = getenv("ZIBO6_BINARY_DIR");
    ASSERT_TRUE(src && bin);
    std::string stored_path = std::string(src) + "/tests/cart/carts/every_section.z6";
    FILE *f = std::fopen(stored_path.c_str(), "rb");
    std::string stored;
    if (f) {
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) stored.append(buf, n);
        std::fclose(f);
    }
    cart_ptr c = full_cart();
    std::string text = write_text(c.get());
    if (stored != text) {
        std::string actual = std::string(bin) + "/every_section.actual.z6";
        FILE *o = std::fopen(actual.c_str(), "wb");
        if (o) {
            std::fwrite(text.data(), 1, text.size(), o);
            std::fclose(o);
        }
        FAIL() << stored_path << " differs from the writer's text, written to " << actual;
    }
}
