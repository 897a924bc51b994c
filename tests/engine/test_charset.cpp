// Console character set <-> UTF-8: every byte survives the round trip, bad
// UTF-8 is copied through without reading past its end, and outputs are sized
// for the widest glyph.
#include "engine/charset.h"
#include "engine/mem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct vfree {
    void operator()(char *p) const { vull_free(p); }
};
using vstr = std::unique_ptr<char, vfree>;

std::string to_utf8(const std::string &s, int keep_capitals = 1) {
    vstr out(convert_glyphs_to_escaped_ex(s.c_str(), nullptr, keep_capitals));
    return out ? std::string(out.get()) : std::string("<null>");
}

// Converts from an exactly sized heap copy so that AddressSanitizer catches
// any read beyond the terminating zero.
std::string from_utf8(const std::string &s) {
    char *in = (char *)std::malloc(s.size() + 1);
    std::memcpy(in, s.c_str(), s.size() + 1);
    vstr out(convert_escaped_to_glyphs(in, nullptr));
    std::free(in);
    return std::string(out.get());
}

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += (char)c;
    return s;
}

} // namespace

TEST(Charset, EveryByteRoundTripsAloneAndInPairs) {
    for (int keep = 0; keep <= 1; keep++) {
        for (int c = 1; c < 256; c++) {
            if (c == 13) continue; // dropped on the way back by design
            std::string s(1, (char)c);
            std::string u = to_utf8(s, keep);
            ASSERT_LE(u.size(), (size_t)CHARSET_MAX_UTF8) << c;
            EXPECT_EQ(from_utf8(u), s) << "byte " << c << " keep " << keep;
        }
    }
    // Neighbouring glyphs must not run into each other.
    for (int a = 1; a < 256; a++) {
        if (a == 13) continue;
        std::string both;
        std::string expect;
        for (int b = 1; b < 256; b++) {
            if (b == 13) continue;
            expect += (char)a;
            expect += (char)b;
        }
        ASSERT_EQ(from_utf8(to_utf8(expect, 0)), expect) << a;
    }
}

TEST(Charset, KnownForms) {
    EXPECT_EQ(to_utf8(bytes({1, 2, 3})), "¹²³");
    EXPECT_EQ(from_utf8("¹²³"), bytes({1, 2, 3}));
    EXPECT_EQ(to_utf8("a\tb\nc\r"), "a\tb\nc\r");
    EXPECT_EQ(from_utf8("a\tb\r\nc"), "a\tb\nc");
    EXPECT_EQ(to_utf8(bytes({127})), "○");
    EXPECT_EQ(from_utf8("○"), bytes({127}));
    EXPECT_EQ(from_utf8("あア"), bytes({154, 204}));
    EXPECT_EQ(to_utf8(bytes({203, 253})), "ょョ");
    EXPECT_EQ(to_utf8(bytes({16, 31, 128, 153, 254, 255})), "▮゜█▥◜◝");
    EXPECT_EQ(to_utf8(bytes({130, 137, 140})), "🐱웃😐");
    EXPECT_EQ(to_utf8(""), "");
    EXPECT_EQ(from_utf8(""), "");
    // Superscripts 0 and 9 have no console byte: copied as they are.
    EXPECT_EQ(from_utf8("⁰⁹"), "⁰⁹");
}

TEST(Charset, CapitalsAndVariationSelectors) {
    EXPECT_EQ(to_utf8("Aa", 0), "𝘢a");
    EXPECT_EQ(to_utf8("Aa", 1), "Aa");
    EXPECT_EQ(to_utf8("Z", 0), "𝘻");
    EXPECT_EQ(from_utf8("𝘢a𝘻"), "AaZ");
    EXPECT_STREQ(vstr(convert_glyphs_to_escaped("Q", nullptr)).get(), "Q");

    EXPECT_EQ(to_utf8(bytes({131})), "⬇\xEF\xB8\x8F");
    EXPECT_EQ(from_utf8("⬇\xEF\xB8\x8F"), bytes({131}));
    // Without its selector the arrow is not the console glyph: raw bytes.
    EXPECT_EQ(from_utf8("⬇x"), "⬇x");
}

TEST(Charset, BrokenUtf8IsCopiedWithoutOverread) {
    // Truncated forms of the widest glyph, a lone kana lead byte, a truncated
    // circle and stray continuation bytes: every one comes through unchanged.
    const std::string widest = to_utf8(bytes({142}));
    ASSERT_EQ(widest.size(), 7u);
    for (size_t n = 1; n < widest.size(); n++) {
        std::string cut = widest.substr(0, n);
        EXPECT_EQ(from_utf8(cut), cut) << n;
    }
    for (std::string s :
         {bytes({0xE3}), bytes({0xE3, 0x81}), bytes({0xE2, 0x97}), bytes({0xC2}),
          bytes({0x80, 0xBF, 0xFF}), bytes({0xE3, 0xFF, 0x82}), bytes({0xF0, 0x9D})}) {
        EXPECT_EQ(from_utf8(s), s);
    }
    // A glyph after broken bytes is still found.
    EXPECT_EQ(from_utf8(bytes({0xE3}) + "あ"), bytes({0xE3, 154}));
}

TEST(Charset, WidestGlyphThousandTimes) {
    std::string text(1000, (char)142);
    std::string u = to_utf8(text);
    EXPECT_EQ(u.size(), 7000u);
    EXPECT_EQ(from_utf8(u), text);

    // A caller's buffer of exactly 7 x length + 1 bytes is enough.
    char *out = (char *)std::malloc(7 * text.size() + 1);
    EXPECT_EQ(convert_glyphs_to_escaped(text.c_str(), out), out);
    EXPECT_EQ(std::strlen(out), 7000u);
    std::free(out);
}

TEST(Charset, BackConversionWorksInPlace) {
    // The output never runs ahead of the input, so a caller may convert a
    // UTF-8 text over itself.
    std::string text = "a" + to_utf8(bytes({142, 154, 1, 127, 16})) + "𝘣\r\nz";
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    EXPECT_EQ(convert_escaped_to_glyphs(buf.data(), buf.data()), buf.data());
    EXPECT_EQ(std::string(buf.data()), "a" + bytes({142, 154, 1, 127, 16}) + "B\nz");
}
