// Forum text codes and base64: RFC 4648 vectors fed in pieces, round trips of
// sound and picture codes, and hostile codes that must stay inside what they fill.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cart/textcode.h"
#include "tests/cart/cart_test_util.h"

namespace fs = std::filesystem;
using cart_test::cart_ptr;

namespace {

std::string encode(const std::string &in, size_t piece) {
    base64_encodestate st;
    base64_init_encodestate(&st);
    std::vector<char> out(in.size() * 2 + 8);
    int n = 0;
    for (size_t i = 0; i < in.size(); i += piece) {
        size_t len = std::min(piece, in.size() - i);
        n += base64_encode_block(reinterpret_cast<const uint8_t *>(in.data() + i), int(len),
                                 out.data() + n, &st);
    }
    n += base64_encode_blockend(out.data() + n, &st);
    return std::string(out.data(), size_t(n));
}

std::string decode(const std::string &in, size_t piece) {
    base64_decodestate st;
    base64_init_decodestate(&st);
    std::vector<uint8_t> out(in.size() + 4);
    int n = 0;
    for (size_t i = 0; i < in.size(); i += piece)
        n += base64_decode_block(in.data() + i, int(std::min(piece, in.size() - i)), out.data() + n,
                                 &st);
    return std::string(reinterpret_cast<char *>(out.data()), size_t(n));
}

TEST(base64, rfc4648_vectors_in_every_piece_size) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto &[plain, coded] : vectors) {
        for (size_t piece = 1; piece <= 7; piece++) {
            EXPECT_EQ(encode(plain, piece), coded) << plain << " in pieces of " << piece;
            EXPECT_EQ(decode(coded, piece), plain) << coded << " in pieces of " << piece;
        }
    }
    EXPECT_EQ(decode("Zm9v\nYmFy!", 3), "foobar"); // characters outside the alphabet skipped
    EXPECT_EQ(base64_encode_value(64), '=');
    EXPECT_EQ(base64_decode_value('='), -1);
    std::string bytes;
    for (int i = 0; i < 256; i++) bytes += char(i);
    EXPECT_EQ(decode(encode(bytes, 5), 9), bytes);
}

zibo6_cart *sound_cart() {
    zibo6_cart *c = vull_create_zibo6_cart();
    for (int s = 0; s < 3; s++) {
        c->sfx[s].speed = 7 + s;
        c->sfx[s].loop_end = 5;
        for (int n = 0; n < ZIBO6_NOTE_COUNT; n++) {
            c->sfx[s].note[n].pitch = (n * 3 + s) % 64;
            c->sfx[s].note[n].volume = n % 8;
            c->sfx[s].note[n].instrument = (n + s) % 8;
        }
    }
    c->sfx[1].note[4].custom = 128; // plays sfx (1+4)%8 = 5 as an instrument
    c->sfx[5].speed = 3;
    c->music[0][0] = 1;
    c->music[0][1] = 2;
    c->pattern_flags[0] = 5;
    return c;
}

void expect_same_sfx(const zibo6_cart *a, const zibo6_cart *b, int s) {
    EXPECT_EQ(a->sfx[s].speed, b->sfx[s].speed) << s;
    EXPECT_EQ(a->sfx[s].loop_end, b->sfx[s].loop_end) << s;
    for (int n = 0; n < ZIBO6_NOTE_COUNT; n++) {
        EXPECT_EQ(a->sfx[s].note[n].pitch, b->sfx[s].note[n].pitch);
        EXPECT_EQ(a->sfx[s].note[n].volume, b->sfx[s].note[n].volume);
        EXPECT_EQ(a->sfx[s].note[n].instrument, b->sfx[s].note[n].instrument);
        EXPECT_EQ(a->sfx[s].note[n].custom, b->sfx[s].note[n].custom);
    }
}

TEST(sound_code, sfx_and_patterns_round_trip) {
    cart_ptr src(sound_cart());
    std::vector<char> out(BBS_CODE_SIZE);
    int n = convert_sfxes_to_bbs_code(src.get(), 3, out.data(), 0);
    EXPECT_EQ(n, 5 + 4 + 3 * (2 + 136) + 6);
    EXPECT_EQ(std::string(out.data(), 9), "[sfx]0300");
    cart_ptr song(convert_bbs_code_to_song(out.data()));
    ASSERT_TRUE(song);
    for (int s = 0; s < 3; s++) expect_same_sfx(src.get(), song.get(), s);
    EXPECT_EQ(song->sprite_flags[0], 3);
    EXPECT_EQ(song->sprite_flags[1], 0);

    // Patterns list their channel sfx, then the custom instruments, each once.
    n = convert_patterns_to_bbs_code(src.get(), 1, out.data(), 0);
    EXPECT_EQ(std::string(out.data(), 11), "[sfx]030101");
    song.reset(convert_bbs_code_to_song(out.data()));
    ASSERT_TRUE(song);
    for (int s : {1, 2, 5}) expect_same_sfx(src.get(), song.get(), s);
    EXPECT_EQ(song->music[0][0], 1);
    EXPECT_EQ(song->music[0][1], 2);
    EXPECT_EQ(song->music[0][2], 0x43);
    EXPECT_EQ(song->pattern_flags[0], 5);
    EXPECT_EQ(song->sprite_flags[1], 1);
}

TEST(picture_code, round_trip_and_short_codes) {
    vull_bitmap *bmp = vull_create_bitmap(5, 3, 8);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) bmp->rows[y][x] = uint8_t(x * 3 + y);
    std::vector<char> out(BBS_CODE_SIZE);
    ASSERT_EQ(convert_bmp_to_bbs_code(bmp, out.data(), 0), 5 + 4 + 15 + 6);
    EXPECT_STREQ(out.data(), "[gfx]05030369c147ad258be[/gfx]");
    vull_bitmap *back = convert_bbs_code_to_bmp(out.data());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 5);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(back->rows[y][x], bmp->rows[y][x] & 15);
    vull_destroy_bitmap(back);
    // Every truncation reads as far as it goes; missing pixels stay 0.
    std::string code = out.data();
    for (size_t len = 0; len < code.size(); len++) {
        std::string cut = code.substr(0, len);
        vull_bitmap *b = convert_bbs_code_to_bmp(cut.c_str());
        if (len < 5) {
            EXPECT_EQ(b, nullptr);
        }
        vull_destroy_bitmap(b);
    }
    EXPECT_EQ(convert_bbs_code_to_bmp("[gfx]00ff"), nullptr);
    vull_bitmap *odd = convert_bbs_code_to_bmp("[gfx]0202zz[/gfx]");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->rows[0][0], 0);
    EXPECT_EQ(odd->rows[1][1], 0);
    vull_destroy_bitmap(odd);
    vull_destroy_bitmap(bmp);
}

TEST(sound_code, hostile_counts_stay_in_the_cart) {
    // 0xff sfx all named 0x7f (wraps to 63), 0xff patterns (only 64 read), then truncated.
    std::string code = "[sfx]ffff";
    for (int i = 0; i < 300; i++) code += "7f" + std::string(136, 'a');
    cart_ptr song(convert_bbs_code_to_song(code.c_str()));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->sprite_flags[1], 255);
    std::string full = "[sfx]0101" + std::string(2 + 136, '1') + "0102030405[/sfx]";
    for (size_t len = 0; len <= full.size(); len++) {
        cart_ptr c(convert_bbs_code_to_song(full.substr(0, len).c_str()));
        EXPECT_EQ(c == nullptr, len < 5);
    }
    EXPECT_EQ(convert_bbs_code_to_song(nullptr), nullptr);
}

TEST(cart_code, file_to_hex_and_back) {
    fs::path dir = fs::temp_directory_path() / ("z6_textcode_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string in = (dir / "in.bin").string(), hex = (dir / "out.hex").string();
    std::ofstream(in, std::ios::binary) << std::string("\x01\xab\x00", 3);
    EXPECT_EQ(convert_binary_file_to_hex(in.c_str(), hex.c_str()), 0);
    std::ifstream f(hex);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(text, "[cart]01ab00[/cart]");
    std::string bin = (dir / "back.bin").string();
    EXPECT_EQ(convert_hex_to_binary_file(text.c_str(), bin.c_str()), 0);
    EXPECT_EQ(fs::file_size(bin), 3u);
    // An odd digit at the end is dropped; a text shorter than the tag writes nothing.
    EXPECT_EQ(convert_hex_to_binary_file("[cart]0102f", bin.c_str()), 0);
    EXPECT_EQ(fs::file_size(bin), 2u);
    EXPECT_EQ(convert_hex_to_binary_file("[ca", bin.c_str()), 0);
    EXPECT_EQ(fs::file_size(bin), 0u);
    std::string missing = (dir / "none").string(), out2 = (dir / "none.hex").string();
    EXPECT_EQ(convert_binary_file_to_hex(missing.c_str(), out2.c_str()), 1);
    EXPECT_FALSE(fs::exists(out2));
    EXPECT_EQ(convert_binary_file_to_hex(in.c_str(), (dir / "no/such").c_str()), 2);
    fs::remove_all(dir);
}

} // namespace
