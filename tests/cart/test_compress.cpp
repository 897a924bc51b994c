// Code compression: round trips over many lengths and texts, the writer's
// exact output for hand-worked inputs, and hostile blocks that must decode
// within their input and output.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cart/compress.h"

namespace {

std::vector<uint8_t> compress(const std::string &text) {
    std::vector<uint8_t> out(PXA_SCRATCH_SIZE);
    int n = compress_mini(text.data(), out.data(), int(text.size()));
    out.resize(size_t(n));
    return out;
}

// Decodes from an exactly sized copy, so reading past the block is caught.
std::string decompress(const std::vector<uint8_t> &block, int size = 65537) {
    std::vector<uint8_t> in(block);
    std::vector<uint8_t> out(size_t(size) + 1, 0);
    decompress_mini(in.data(), int(in.size()), out.data(), size);
    return std::string(reinterpret_cast<const char *>(out.data()));
}

// Readers take a plain-text block as it is.
std::string round_trip(const std::string &text) {
    std::vector<uint8_t> block = compress(text);
    if (block.size() >= 4 && is_compressed_format_header(block.data()) == 2)
        return decompress(block);
    return std::string(block.begin(), block.end());
}

const std::string CODE_SAMPLE =
    "-- bouncing balls\nfunction _init()\n balls={}\n for i=1,16 do\n  add(balls,{x=rnd(128),"
    "y=rnd(128),dx=rnd(2)-1,dy=rnd(2)-1,c=8+i%8})\n end\nend\n\nfunction _update()\n for b in "
    "all(balls) do\n  b.x+=b.dx b.y+=b.dy\n  if (b.x<0 or b.x>127) b.dx=-b.dx\n  if (b.y<0 or "
    "b.y>127) b.dy=-b.dy\n end\nend\n\nfunction _draw()\n cls(1)\n for b in all(balls) do "
    "circfill(b.x,b.y,3,b.c) end\n print(\"\x80\x81\x82 balls \x9a\",2,2,7)\nend\n";

std::string random_text(std::mt19937 &rng, int length) {
    std::string s(size_t(length), ' ');
    for (char &c : s) c = char(1 + rng() % 255);
    return s;
}

std::string code_text(int length) {
    std::string s;
    while (int(s.size()) < length) s += CODE_SAMPLE;
    s.resize(size_t(length));
    return s;
}

TEST(Compress, RoundTripsEveryShortLengthOfRandomAndRealText) {
    std::mt19937 rng(7);
    for (int len = 0; len <= 300; len++) {
        std::string r = random_text(rng, len), c = code_text(len);
        ASSERT_EQ(round_trip(r), r) << "random text of " << len;
        ASSERT_EQ(round_trip(c), c) << "code of " << len;
    }
}

TEST(Compress, RoundTripsLongTextsUpToTheLimit) {
    std::mt19937 rng(11);
    for (int len : {1000, 4093, 15616, 20000, 40000, 65535}) {
        std::string r = random_text(rng, len), c = code_text(len);
        ASSERT_EQ(round_trip(r), r) << "random text of " << len;
        ASSERT_EQ(round_trip(c), c) << "code of " << len;
    }
    // Real code shrinks: a cart filling the code block is far over it as text.
    EXPECT_LT(compress(code_text(40000)).size(), 15616u);
    // A text of long runs with few distinct characters.
    std::string runs;
    for (int i = 0; runs.size() < 65535; i++)
        runs += std::string(size_t(1 + i % 300), char('a' + i % 5));
    runs.resize(65535);
    EXPECT_EQ(round_trip(runs), runs);
}

TEST(Compress, WritesTheWorkedVectors) {
    // Too short to gain: the text itself, no header.
    std::vector<uint8_t> abc = compress("abc");
    EXPECT_EQ(std::string(abc.begin(), abc.end()), "abc");
    EXPECT_TRUE(compress("").empty());

    // One literal (index 97, six bits) and one overlapping copy: distance 1, length 199.
    const std::vector<uint8_t> run200 = {0x00, 0x70, 0x78, 0x61, 0x00, 0xc8, 0x00, 0x16,
                                         0x17, 0x1b, 0xfc, 0xff, 0xff, 0xff, 0xff, 0xff,
                                         0xff, 0xff, 0xff, 0xff, 0x3f, 0x00};
    EXPECT_EQ(compress(std::string(200, 'a')), run200);
    EXPECT_EQ(decompress(run200), std::string(200, 'a'));

    // Three literals, then distance 3 length 21 in chunks 7, 7, 4.
    const std::vector<uint8_t> abc8 = {0x00, 0x70, 0x78, 0x61, 0x00, 0x18, 0x00,
                                       0x0e, 0x17, 0x9f, 0x7c, 0xb3, 0xc5, 0x4f};
    std::string text;
    for (int i = 0; i < 8; i++) text += "abc";
    EXPECT_EQ(compress(text), abc8);
}

TEST(Compress, DecodingStopsAtTheSizeGiven) {
    std::vector<uint8_t> block = compress(code_text(5000));
    std::vector<uint8_t> out(101, 0xee);
    std::vector<uint8_t> in(block);
    EXPECT_EQ(decompress_mini(in.data(), int(in.size()), out.data(), 100), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), 100), code_text(100));
    EXPECT_EQ(out[100], 0xee); // nothing written past size
}

std::vector<uint8_t> legacy_block(const std::vector<uint8_t> &codes, int raw) {
    std::vector<uint8_t> b = {':', 'c', ':', 0, uint8_t(raw >> 8), uint8_t(raw), 0, 0};
    b.insert(b.end(), codes.begin(), codes.end());
    return b;
}

TEST(Compress, ReadsLegacyBlocksAndCutsTheTrailingShim) {
    // "ab" from the literal table, then a copy of two characters 2 back, a raw 'Q'.
    std::vector<uint8_t> b = legacy_block({13, 14, 60, 0x02, 0, 'Q'}, 5);
    EXPECT_EQ(decompress(b), "ababQ");
    std::vector<uint8_t> out(4, 0);
    EXPECT_EQ(decompress_mini(b.data(), int(b.size()), out.data(), 4), 1); // raw length 5 > 4

    const std::string shim = "if(_update60)_update=function()_update60()_update60()end";
    std::vector<uint8_t> codes;
    for (char c : "x=1" + shim) codes.push_back(0), codes.push_back(uint8_t(c));
    std::vector<uint8_t> tail = legacy_block(codes, int(shim.size()) + 3);
    EXPECT_EQ(decompress(tail), "x=1");
    codes.push_back(0), codes.push_back('y');
    EXPECT_EQ(decompress(legacy_block(codes, int(shim.size()) + 4)), "x=1" + shim + "y");
}

// Hostile blocks: decoding reads only the bytes given and writes only size bytes.
void decode_hostile(const std::vector<uint8_t> &block) {
    std::vector<uint8_t> in(block);
    constexpr int SIZE = 300;
    std::vector<uint8_t> out(SIZE);
    decompress_mini(in.empty() ? nullptr : in.data(), int(in.size()), out.data(), SIZE);
}

TEST(Compress, HostileBlocksDecodeWithinBounds) {
    // A back-reference before the start, and a length far past the block.
    decode_hostile({0, 'p', 'x', 'a', 0xff, 0xff, 0xff, 0xff, 0x00, 0x00});
    decode_hostile({0, 'p', 'x', 'a', 0xff, 0xff, 0xff, 0xff, 0x17, 0xff, 0xff, 0xff});
    decode_hostile(legacy_block({60, 0x0f, 255, 0xff, 0, 'a', 60, 0xf1, 60, 0xf1}, 0xffff));
    decode_hostile(legacy_block({60}, 100));
    decode_hostile(legacy_block({0}, 100));

    std::vector<uint8_t> good = compress(code_text(2000));
    ASSERT_EQ(is_compressed_format_header(good.data()), 2);
    // Every truncation; then the claimed length pointing past the real end.
    for (size_t n = 0; n <= good.size(); n++)
        decode_hostile(std::vector<uint8_t>(good.begin(), good.begin() + long(n)));
    // Every bit flip of the first 400 bytes.
    for (size_t i = 0; i < 400 && i < good.size(); i++)
        for (int bit = 0; bit < 8; bit++) {
            std::vector<uint8_t> b = good;
            b[i] ^= uint8_t(1 << bit);
            decode_hostile(b);
        }
    std::vector<uint8_t> short_one(good.begin(), good.begin() + 40);
    short_one[6] = 0xff, short_one[7] = 0xff;
    decode_hostile(short_one);
}

code_decode_report report_of(const std::vector<uint8_t> &block, int size = 65537) {
    std::vector<uint8_t> in(block), out(size_t(size) + 1, 0);
    code_decode_report r;
    r.whole = false;
    decompress_mini_ex(in.empty() ? nullptr : in.data(), int(in.size()), out.data(), size, &r);
    return r;
}

// The report says whether a block decoded whole; what decodes stays as before.
TEST(Compress, ReportsWhetherTheBlockDecodedWhole) {
    const std::string text = code_text(3000);
    std::vector<uint8_t> good = compress(text);
    ASSERT_EQ(is_compressed_format_header(good.data()), 2);
    code_decode_report r = report_of(good);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.stated, 3000);
    EXPECT_EQ(r.decoded, 3000);
    r = report_of(good, 100); // stopped by size, not by damage
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.decoded, 100);

    // Cut anywhere after its magic and before its last byte (which may hold
    // padding alone), or its claimed length shortened: not whole, and what
    // decoded is a prefix of the text.
    for (size_t n = 4; n + 1 < good.size(); n++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        r = report_of(cut);
        EXPECT_FALSE(r.whole) << n;
        std::string got = decompress(cut);
        EXPECT_EQ(int(got.size()), r.decoded) << n;
        EXPECT_EQ(text.compare(0, got.size(), got), 0) << n;
    }
    std::vector<uint8_t> short_claim = good;
    short_claim[6] = 0, short_claim[7] = 40;
    EXPECT_FALSE(report_of(short_claim).whole);
    std::vector<uint8_t> bad_literal = good; // sixteen 1-bits: an index past 255
    std::fill(bad_literal.begin() + long(good.size() / 2), bad_literal.end(), 0xff);
    r = report_of(bad_literal);
    EXPECT_FALSE(r.whole);
    EXPECT_EQ(r.stated, 3000);

    // Legacy: counted before the shim is cut; a short stream or header is not whole.
    const std::string shim = "if(_update60)_update=function()_update60()_update60()end";
    std::vector<uint8_t> codes;
    for (char c : "x=1" + shim) codes.push_back(0), codes.push_back(uint8_t(c));
    const int raw = int(shim.size()) + 3;
    r = report_of(legacy_block(codes, raw));
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.decoded, raw);
    codes.resize(codes.size() - 2);
    EXPECT_FALSE(report_of(legacy_block(codes, raw)).whole);
    EXPECT_FALSE(report_of({':', 'c', ':', 0, 0}).whole);
    EXPECT_FALSE(report_of(legacy_block({13, 14}, 5), 4).whole); // refused: raw length 5 > 4

    // Not a compressed block: nothing stated.
    r = report_of({'a', 'b', 'c', 'd'});
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.stated, 0);
}

} // namespace
