// The ROM image, the PNG cart and the cart hash: round trips between the
// formats, a plain decoder's view of the pixels, integrity and size checks,
// and hostile pictures.
#include <gtest/gtest.h>
#include <lodepng.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart_test_util.h"
#include "engine/config.h"
#include "console/mem.h"
#include "engine/disk.h"

namespace {

using cart_test::cart_ptr;

struct png_cart_test : ::testing::Test {
    std::filesystem::path dir;
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_'); // a parameterised case's "Name/1"
        dir = std::filesystem::temp_directory_path() /
              ("z6_png_cart_" + std::to_string(::getpid()) + "_" + name);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const char *name) const { return (dir / name).string(); }
};

// The picture's low bits as a plain PNG decoder sees them.
std::vector<uint8_t> low_bits(const std::string &file) {
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    EXPECT_EQ(lodepng_decode32_file(&rgba, &w, &h, file.c_str()), 0u);
    EXPECT_EQ(w, 160u);
    EXPECT_EQ(h, 205u);
    std::vector<uint8_t> image(PNG_CART_IMAGE_SIZE);
    for (size_t i = 0; i < image.size() && rgba; i++) {
        const unsigned char *p = rgba + 4 * i;
        image[i] = uint8_t((p[2] & 3) | (p[1] & 3) << 2 | (p[0] & 3) << 4 | (p[3] & 3) << 6);
    }
    std::free(rgba);
    return image;
}

// A grey 160 x 205 picture (or another size) carrying image in its low bits.
void write_png(const std::string &file, const std::vector<uint8_t> &image, unsigned w = 160,
               unsigned h = 205) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4, 0x80);
    for (size_t i = 0; i < image.size() && i < size_t(w) * h; i++) {
        uint8_t *p = &rgba[4 * i], v = image[i];
        p[0] = uint8_t(0x80 | ((v >> 4) & 3)), p[1] = uint8_t(0x80 | ((v >> 2) & 3));
        p[2] = uint8_t(0x80 | (v & 3)), p[3] = uint8_t(0xfc | (v >> 6));
    }
    ASSERT_EQ(lodepng_encode32_file(file.c_str(), rgba.data(), w, h), 0u);
}

cart_ptr load_png(const std::string &file) { return cart_ptr(load_zibo6_cart_png(file.c_str())); }

TEST_F(png_cart_test, TextToPngToRomToTextComesBackByteForByte) {
    cart_ptr original = cart_test::full_cart();
    // Neither the PNG cart nor the ROM image carries the change mask.
    std::memset(original->change_mask, 0xff, sizeof original->change_mask);
    const std::string text = cart_test::write_text(original.get());

    ASSERT_EQ(save_zibo6_cart_png(original.get(), path("full.z6.png").c_str()), 0);
    cart_ptr from_png = load_png(path("full.z6.png"));
    ASSERT_TRUE(from_png);
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_OK);
    EXPECT_EQ(cart_test::write_text(from_png.get()), text); // label included

    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zibo6_cart_32k(from_png.get(), image.data()), 0);
    cart_ptr from_rom(vull_create_zibo6_cart());
    load_zibo6_cart_32k(from_rom.get(), image.data());
    // The ROM image has no label.
    ASSERT_TRUE(original->label);
    vull_destroy_bitmap(original->label);
    original->label = nullptr;
    EXPECT_EQ(cart_test::write_text(from_rom.get()), cart_test::write_text(original.get()));

    // A plain PNG decoder finds the image and the trailer in the low bits.
    std::vector<uint8_t> bits = low_bits(path("full.z6.png"));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bits.begin()));
    EXPECT_EQ(bits[0x8000], 33);
    EXPECT_EQ(bits[0x8003], 3);
    EXPECT_EQ(bits[0x8004], 'l');
    char digest[41];
    vull_sha1(bits.data(), CART_IMAGE_SIZE, digest);
    char stored[41];
    for (int i = 0; i < 20; i++) std::snprintf(stored + 2 * i, 3, "%02x", bits[size_t(0x8006 + i)]);
    EXPECT_STREQ(digest, stored);
}

// The draft written for a cart stored into many times a frame: the same picture as a normal
// save, and after stores anywhere in the ROM data (each update told only where) a PNG cart of
// exactly the cart as it then is, its digest checked on loading.
TEST_F(png_cart_test, DraftHoldsTheSamePictureAndFollowsStores) {
    cart_ptr c = cart_test::full_cart();
    std::memset(c->change_mask, 0xff, sizeof c->change_mask);
    auto rgba_of = [](const uint8_t *png, size_t size) {
        unsigned char *rgba = nullptr;
        unsigned w = 0, h = 0;
        EXPECT_EQ(lodepng_decode32(&rgba, &w, &h, png, size), 0u);
        std::vector<uint8_t> out(rgba, rgba + (rgba ? size_t(w) * h * 4 : 0));
        std::free(rgba);
        return out;
    };
    png_cart_draft *d = png_cart_draft_create(c.get());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(save_zibo6_cart_png(c.get(), path("normal.png").c_str()), 0);
    std::ifstream in(path("normal.png"), std::ios::binary);
    std::string normal((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> &first = png_cart_draft_update(d, c.get(), 0, 0);
    EXPECT_EQ(rgba_of(first.data(), first.size()),
              rgba_of(reinterpret_cast<const uint8_t *>(normal.data()), normal.size()));
    std::mt19937 rng(7);
    for (int i = 0; i < 60; i++) {
        int a = int(rng() % 0x4400) - 0x80, n = 1 + int(rng() % 40); // some wrap past 0xffff
        for (int k = 0; k < n; k++) zibo6_poke(nullptr, c.get(), a + k, int(rng() % 256));
        const std::vector<uint8_t> &bytes = png_cart_draft_update(d, c.get(), a, n);
        cart_ptr back(load_zibo6_cart_png_from_bytes(bytes.data(), bytes.size()));
        ASSERT_TRUE(back) << i << " status " << zibo6_png_cart_status;
        std::vector<uint8_t> want(CART_IMAGE_SIZE), got(CART_IMAGE_SIZE);
        ASSERT_EQ(save_zibo6_cart_32k(c.get(), want.data()), 0);
        ASSERT_EQ(save_zibo6_cart_32k(back.get(), got.data()), 0);
        ASSERT_EQ(want, got) << i;
    }
    png_cart_draft_destroy(d);
}

// Each flip is a whole PNG written and read, so the flips come in four
// interleaved slices, test cases of their own that can run side by side.
struct low_bit_flips : png_cart_test, testing::WithParamInterface<int> {};
constexpr int FLIP_SLICES = 4;

TEST_P(low_bit_flips, EveryChangedLowBitIsCaughtAsCorruption) {
    cart_ptr c = cart_test::full_cart();
    ASSERT_EQ(save_zibo6_cart_png(c.get(), path("c.z6.png").c_str()), 0);
    const std::vector<uint8_t> bits = low_bits(path("c.z6.png"));
    std::vector<int> offsets;
    for (int i = 0; i < 0x8000; i += 97) offsets.push_back(i);
    offsets.push_back(0x7fff);
    for (int i = 0x8006; i < 0x801a; i++) offsets.push_back(i);
    for (size_t k = size_t(GetParam()); k < offsets.size(); k += FLIP_SLICES) {
        const int i = offsets[k];
        std::vector<uint8_t> b = bits;
        b[size_t(i)] ^= 1;
        write_png(path("flip.png"), b);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(load_png(path("flip.png"))) << "byte " << i;
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(zibo6_png_cart_status, PNG_CART_CORRUPTED) << "byte " << i;
    }
}
INSTANTIATE_TEST_SUITE_P(Slice, low_bit_flips, testing::Range(0, FLIP_SLICES));

TEST_F(png_cart_test, DigestZerosAndOlderVersionsAreNotChecked) {
    cart_ptr c = cart_test::full_cart();
    ASSERT_EQ(save_zibo6_cart_png(c.get(), path("c.z6.png").c_str()), 0);
    const std::vector<uint8_t> bits = low_bits(path("c.z6.png"));
    // Zeros in place of the digest skip the test; the trailer's first bytes are not covered.
    std::vector<uint8_t> b = bits;
    std::fill(b.begin() + 0x8006, b.begin() + 0x801a, 0);
    b[100] ^= 1;
    write_png(path("unsigned.png"), b);
    EXPECT_TRUE(load_png(path("unsigned.png")));
    b = bits;
    b[0x8000] = 32;
    write_png(path("older.png"), b);
    EXPECT_TRUE(load_png(path("older.png")));
}

TEST_F(png_cart_test, RefusesWrongSizesFutureVersionsAndNonPictures) {
    cart_ptr c = cart_test::full_cart();
    ASSERT_EQ(save_zibo6_cart_png(c.get(), path("c.z6.png").c_str()), 0);
    std::vector<uint8_t> bits = low_bits(path("c.z6.png"));

    write_png(path("short.png"), bits, 160, 204);
    EXPECT_FALSE(load_png(path("short.png")));
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_WRONG_SIZE);

    // A header claiming 16384 x 16384 is refused from the header alone.
    std::vector<uint8_t> ihdr = {0x89, 'P', 'N',  'G', 0x0d, 0x0a, 0x1a, 0x0a, 0,    0,
                                 0,    13,  'I',  'H', 'D',  'R',  0,    0,    0x40, 0,
                                 0,    0,   0x40, 0,   8,    6,    0,    0,    0};
    unsigned crc = lodepng_crc32(ihdr.data() + 12, 17);
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(uint8_t(crc >> s));
    FILE *f = std::fopen(path("huge.png").c_str(), "wb");
    std::fwrite(ihdr.data(), 1, ihdr.size(), f);
    std::fclose(f);
    EXPECT_FALSE(load_png(path("huge.png")));
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_WRONG_SIZE);

    EXPECT_FALSE(load_png(path("missing.png")));
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_NO_FILE);
    f = std::fopen(path("text.png").c_str(), "wb");
    std::fputs("zibo-6 cartridge\nversion 33\n", f);
    std::fclose(f);
    EXPECT_FALSE(load_png(path("text.png")));
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_NOT_PNG);

    bits[0x8000] = 34;
    std::fill(bits.begin() + 0x8006, bits.begin() + 0x801a, 0);
    write_png(path("future.png"), bits);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(load_png(path("future.png")));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(zibo6_png_cart_status, PNG_CART_FUTURE);
    cconfig.accept_future = 1;
    cart_ptr future = load_png(path("future.png"));
    cconfig.accept_future = 0;
    ASSERT_TRUE(future);
    EXPECT_EQ(future->version, 34);
}

TEST_F(png_cart_test, TruncatedPngCartsAreRefusedCleanly) {
    cart_ptr c = cart_test::full_cart();
    ASSERT_EQ(save_zibo6_cart_png(c.get(), path("c.z6.png").c_str()), 0);
    cbuffer *whole = vull_load_file(path("c.z6.png").c_str(), VULL_READ_MAX);
    ASSERT_TRUE(whole);
    std::vector<uint8_t> bytes(whole->data, whole->data + whole->length);
    vull_destroy_buffer(whole);
    for (size_t n = 0; n < bytes.size(); n += (n < 64 ? 1 : 211)) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
        vull_file *mf = vull_fopen_memory(cut.empty() ? nullptr : cut.data(), int(cut.size()));
        zibo6_cart *got = load_zibo6_cart_png_from_file(mf);
        vull_fclose(mf);
        EXPECT_FALSE(got) << n;
        EXPECT_EQ(zibo6_png_cart_status, PNG_CART_NOT_PNG) << n;
        vull_destroy_zibo6_cart(got);
    }
}

TEST(CartImage, CodeTooLargeForTheBlockFailsAndPlainCodeIsKept) {
    cart_ptr c(vull_create_zibo6_cart());
    std::string noise;
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; i++) noise += char(33 + rng() % 90);
    std::memcpy(c->code, noise.c_str(), noise.size() + 1);
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    EXPECT_EQ(save_zibo6_cart_32k(c.get(), image.data()), 1);
    EXPECT_EQ(save_zibo6_cart_png(c.get(), "/nonexistent/never.png"), 1);

    // Short code stays plain text; loading clears what the buffer held before.
    std::strcpy(c->code, "x=1");
    ASSERT_EQ(save_zibo6_cart_32k(c.get(), image.data()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(&image[0x4300])), "x=1");
    cart_ptr back(vull_create_zibo6_cart());
    std::strcpy(back->code, "a much longer piece of old code");
    load_zibo6_cart_32k(back.get(), image.data());
    EXPECT_STREQ(back->code, "x=1");
}

TEST(CartHash, NamesContentAndNotCompression) {
    char none[41], a[41], b[41], a2[41];
    hash_cart(nullptr, none);
    EXPECT_EQ(std::string(none), std::string(40, '0'));
    cart_ptr c = cart_test::full_cart();
    hash_cart(c.get(), a);
    EXPECT_EQ(std::strlen(a), 40u);
    c->code[5] ^= 1;
    hash_cart(c.get(), b);
    EXPECT_STRNE(a, b);
    c->code[5] ^= 1;
    hash_cart(c.get(), a2);
    EXPECT_STREQ(a, a2);
    c->sprites->rows[3][3] ^= 1;
    hash_cart(c.get(), b);
    EXPECT_STRNE(a, b);
    // Stored files are named by it: an empty cart's hash never changes, nor
    // depends on the cart hashed before it.
    zibo6_cart *empty = vull_create_zibo6_cart();
    hash_cart(empty, a);
    EXPECT_STREQ(a, "9a83d894d8923b662f6d97404f15d8e265395724");
    vull_destroy_zibo6_cart(empty);
}

} // namespace
