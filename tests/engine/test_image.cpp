// PNG, TGA and BMP files: round trips, byte order, size limits, hostile headers
// and truncated files at every length.
#include <gtest/gtest.h>
#include <lodepng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/engine/gfx_test_util.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/vull.h"

namespace fs = std::filesystem;

namespace {

using gfxtest::bitmap_ptr;
using gfxtest::make;

std::string scratch(const std::string &name) {
    const char *home = std::getenv("HOME");
    fs::path dir = fs::path(home ? home : "/tmp") / "e3_image";
    fs::create_directories(dir);
    return (dir / name).string();
}

std::vector<uint8_t> read_all(const std::string &path) {
    std::vector<uint8_t> data;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}

void write_all(const std::string &path, const uint8_t *data, size_t n) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (n) std::fwrite(data, 1, n, f);
    std::fclose(f);
}

int open_fds() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d)) n++;
        closedir(d);
    }
    return n;
}

// A PNG of the given size encoded by LodePNG from a solid colour.
std::vector<uint8_t> png_of(unsigned w, unsigned h) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4, 0x80);
    unsigned char *out = nullptr;
    size_t size = 0;
    EXPECT_EQ(lodepng_encode32(&out, &size, rgba.data(), w, h), 0u);
    std::vector<uint8_t> png(out, out + size);
    std::free(out);
    return png;
}

// Rewrites the IHDR size of a PNG and fixes the chunk's CRC.
void patch_png_size(std::vector<uint8_t> &png, uint32_t w, uint32_t h) {
    for (int i = 0; i < 4; i++) {
        png[16 + i] = uint8_t(w >> (24 - 8 * i));
        png[20 + i] = uint8_t(h >> (24 - 8 * i));
    }
    lodepng_chunk_generate_crc(png.data() + 8);
}

vull_bitmap *load_png_memory(std::vector<uint8_t> &data) {
    vull_file *f = vull_fopen_memory(data.data(), int(data.size()));
    vull_bitmap *b = vull_load_png_from_file(f);
    vull_fclose(f);
    return b;
}

} // namespace

TEST(ImagePng, RoundTripKeepsWordOrder) {
    auto b = make(3, 2, 32);
    const uint32_t px[6] = {0xFF102030, 0x80FF0000, 0x0000FF00, 0xFF0000FF, 0x12345678, 0xFFFFFFFF};
    for (int i = 0; i < 6; i++) vull_putpixel(b.get(), i % 3, i / 3, px[i]);
    const std::string path = scratch("round.png");
    EXPECT_EQ(vull_save_png(path.c_str(), b.get()), 0);

    // On disk the bytes are R, G, B, A.
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    ASSERT_EQ(LodePNG_decode32_file(&rgba, &w, &h, path.c_str()), 0u);
    ASSERT_EQ(w, 3u);
    EXPECT_EQ(rgba[0], 0x10);
    EXPECT_EQ(rgba[1], 0x20);
    EXPECT_EQ(rgba[2], 0x30);
    EXPECT_EQ(rgba[3], 0xFF);
    std::free(rgba);

    bitmap_ptr back(vull_load_png(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bpp, 32);
    for (int i = 0; i < 6; i++) EXPECT_EQ(vull_getpixel(back.get(), i % 3, i / 3), px[i]) << i;

    // An 8-bit picture of index 0 only is saved fully transparent.
    auto zero = make(4, 4, 8);
    EXPECT_EQ(vull_save_png(path.c_str(), zero.get()), 0);
    bitmap_ptr clear(vull_load_png(path.c_str()));
    ASSERT_NE(clear, nullptr);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(vull_getpixel(clear.get(), x, y) >> 24, 0u);

    // Failures are reported, not hidden.
    EXPECT_EQ(vull_save_png(path.c_str(), nullptr), 1);
    EXPECT_NE(vull_save_png(scratch("no/such/dir/x.png").c_str(), b.get()), 0);
    EXPECT_EQ(vull_load_png(scratch("missing.png").c_str()), nullptr);
}

TEST(ImagePng, SizeLimitsAndHostileHeaders) {
    std::vector<uint8_t> ok = png_of(16384, 1);
    bitmap_ptr wide(load_png_memory(ok));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->width, 16384);

    for (auto [w, h] : {std::pair{16385u, 1u}, std::pair{1u, 16385u}}) {
        std::vector<uint8_t> big = png_of(w, h);
        EXPECT_EQ(load_png_memory(big), nullptr) << w << "x" << h;
    }

    // A tiny file whose header claims 100000 x 100000 is refused before decoding.
    std::vector<uint8_t> liar = png_of(1, 1);
    patch_png_size(liar, 100000, 100000);
    EXPECT_EQ(load_png_memory(liar), nullptr);
    const std::string path = scratch("liar.png");
    write_all(path, liar.data(), liar.size());
    EXPECT_EQ(vull_load_png(path.c_str()), nullptr);
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    EXPECT_EQ(LodePNG_decode32_file(&out, &w, &h, path.c_str()), VULL_PNG_TOO_MANY_PIXELS);
    EXPECT_EQ(out, nullptr);
    // Within the side limit, but with far too little image data for 16384 x 16384: refused
    // before a gigabyte is set aside for its pixels.
    patch_png_size(liar, 16384, 16384);
    write_all(path, liar.data(), liar.size());
    EXPECT_EQ(LodePNG_decode32_file(&out, &w, &h, path.c_str()), 30u);
    EXPECT_EQ(out, nullptr);
    patch_png_size(liar, 0, 5);
    EXPECT_EQ(load_png_memory(liar), nullptr);

    // Output modes no PNG can hold are refused rather than handed a mismatched buffer.
    std::vector<uint8_t> small = png_of(4, 4);
    write_all(path, small.data(), small.size());
    for (auto [type, depth] :
         {std::pair{99, 8u}, std::pair{int(LCT_RGB), 3u}, std::pair{int(LCT_RGBA), 0u}}) {
        EXPECT_EQ(LodePNG_decode_file(&out, &w, &h, path.c_str(), type, depth), 31u)
            << type << " " << depth;
        EXPECT_EQ(out, nullptr);
    }
    ASSERT_EQ(LodePNG_decode_file(&out, &w, &h, path.c_str(), LCT_GREY, 8), 0u);
    EXPECT_EQ(w, 4u);
    std::free(out);

    EXPECT_EQ(LodePNG_decode32_vull_file(&out, &w, &h, nullptr), VULL_PNG_NULL_FILE);
    EXPECT_EQ(LodePNG_decode32_file(&out, &w, &h, scratch("missing.png").c_str()),
              VULL_PNG_CANNOT_OPEN);
}

TEST(ImagePng, WithinABoundTheHeaderDecidesBeforeAnyPixel) {
    const std::string path = scratch("within.png");
    // Both readers of a bounded picture (bitmap and R, G, B, A bytes) agree:
    // whether it loads, why not, and every pixel, red and blue swapped.
    auto loads_within = [&](int max_w, int max_h, int *too_large) -> int {
        bitmap_ptr b(vull_load_png_within(path.c_str(), max_w, max_h, too_large));
        int w = -1, h = -1, rgba_too_large = -1;
        uint8_t *rgba = vull_load_png_rgba_within(path.c_str(), max_w, max_h, &w, &h,
                                                  &rgba_too_large);
        EXPECT_EQ(rgba_too_large, *too_large);
        EXPECT_EQ(rgba != nullptr, b != nullptr);
        if (b && rgba) {
            EXPECT_EQ(w, b->width);
            EXPECT_EQ(h, b->height);
            int unlike = 0;
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const uint8_t *p = rgba + (size_t(y) * size_t(w) + size_t(x)) * 4;
                    unlike += vull_getpixel(b.get(), x, y) !=
                              (uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 |
                               uint32_t(p[1]) << 8 | p[2]);
                }
            EXPECT_EQ(unlike, 0);
        }
        std::free(rgba);
        if (!b) {
            EXPECT_EQ(w, 0);
            EXPECT_EQ(h, 0);
        }
        return b ? b->height : 0;
    };
    std::vector<uint8_t> fits = png_of(128, 100);
    write_all(path, fits.data(), fits.size());
    int too_large = -1;
    EXPECT_EQ(loads_within(128, 128, &too_large), 100);
    EXPECT_EQ(too_large, 0);
    // an odd number of pixels, each of its own colour
    std::vector<uint8_t> colours(3 * 3 * 4);
    for (size_t i = 0; i < colours.size(); i++) colours[i] = uint8_t(i * 37 + 11);
    unsigned char *coloured = nullptr;
    size_t coloured_size = 0;
    ASSERT_EQ(lodepng_encode32(&coloured, &coloured_size, colours.data(), 3, 3), 0u);
    write_all(path, coloured, coloured_size);
    std::free(coloured);
    EXPECT_EQ(loads_within(3, 3, &too_large), 3);
    int w = 0, h = 0;
    uint8_t *rgba = vull_load_png_rgba_within(path.c_str(), 3, 3, &w, &h);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + colours.size()), colours);
    std::free(rgba);

    // a header-only file claiming 8192 x 8192: refused as too large, which only
    // the header can tell (decoding it would fail for want of data instead)
    std::vector<uint8_t> liar = png_of(1, 1);
    patch_png_size(liar, 8192, 8192);
    write_all(path, liar.data(), liar.size());
    EXPECT_EQ(loads_within(1024, 544, &too_large), 0);
    EXPECT_EQ(too_large, 1);
    std::vector<uint8_t> tall = png_of(100, 129);
    write_all(path, tall.data(), tall.size());
    EXPECT_EQ(loads_within(128, 128, &too_large), 0);
    EXPECT_EQ(too_large, 1);

    // a small picture in a file padded past 1 MiB and 8 bytes a pixel
    std::vector<uint8_t> padded = png_of(4, 4);
    padded.insert(padded.end() - 12, (1 << 20) + 200, 0); // inside the IEND chunk's place
    write_all(path, padded.data(), padded.size());
    EXPECT_EQ(loads_within(4, 4, &too_large), 0);
    EXPECT_EQ(too_large, 1);

    // an unreadable file is not "too large"
    const char junk[] = "not a picture";
    write_all(path, reinterpret_cast<const uint8_t *>(junk), sizeof junk);
    EXPECT_EQ(loads_within(128, 128, &too_large), 0);
    EXPECT_EQ(too_large, 0);
    EXPECT_EQ(vull_load_png_within(scratch("missing.png").c_str(), 128, 128, &too_large), nullptr);
    EXPECT_EQ(vull_load_png_rgba_within(scratch("missing.png").c_str(), 128, 128, &w, &h),
              nullptr);
}

TEST(ImagePng, ImageDataPastTheHeaderStopsEarly) {
    // A 1 x 1 picture whose image data inflates to 256 KB: the decoder stops
    // once the data passes what the header promises ("exceeded max size", 109)
    // instead of inflating all of it first.
    std::vector<uint8_t> zeros(1 << 18, 0);
    uint8_t *idat = nullptr;
    size_t idat_size = 0;
    ASSERT_EQ(vull_compress(zeros.data(), zeros.size(), &idat, &idat_size), 0u);
    const uint8_t ihdr[13] = {0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0};
    unsigned char *png = nullptr;
    size_t png_size = 0;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png = static_cast<unsigned char *>(std::malloc(8));
    std::memcpy(png, signature, 8);
    png_size = 8;
    ASSERT_EQ(lodepng_chunk_create(&png, &png_size, 13, "IHDR", ihdr), 0u);
    ASSERT_EQ(lodepng_chunk_create(&png, &png_size, unsigned(idat_size), "IDAT", idat), 0u);
    ASSERT_EQ(lodepng_chunk_create(&png, &png_size, 0, "IEND", nullptr), 0u);
    std::free(idat);
    std::vector<uint8_t> bomb(png, png + png_size);
    std::free(png);

    vull_file *f = vull_fopen_memory(bomb.data(), int(bomb.size()));
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    EXPECT_EQ(LodePNG_decode32_vull_file(&out, &w, &h, f), 109u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(vull_load_png_from_file(f), nullptr);
    vull_fclose(f);

    // Interlaced pictures are bounded by their seven passes and still decode.
    std::vector<uint8_t> rgba(13 * 7 * 4);
    for (size_t i = 0; i < rgba.size(); i++) rgba[i] = uint8_t(i * 29);
    LodePNGState state;
    lodepng_state_init(&state);
    state.encoder.add_id = 0;
    state.info_png.interlace_method = 1;
    ASSERT_EQ(lodepng_encode(&png, &png_size, rgba.data(), 13, 7, &state), 0u);
    lodepng_state_cleanup(&state);
    std::vector<uint8_t> adam7(png, png + png_size);
    std::free(png);
    bitmap_ptr b(load_png_memory(adam7));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(vull_getpixel(b.get(), 12, 6), uint32_t(rgba[(6 * 13 + 12) * 4 + 3]) << 24 |
                                                 uint32_t(rgba[(6 * 13 + 12) * 4]) << 16 |
                                                 uint32_t(rgba[(6 * 13 + 12) * 4 + 1]) << 8 |
                                                 rgba[(6 * 13 + 12) * 4 + 2]);
}

TEST(ImagePng, StreamWithoutASizeIsRefused) {
    // A pipe cannot be measured: error 78, and nothing is allocated from a -1 size.
    std::vector<uint8_t> png = png_of(2, 2);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], png.data(), png.size()), ssize_t(png.size()));
    close(fds[1]);
    FILE *fp = fdopen(fds[0], "rb");
    ASSERT_NE(fp, nullptr);
    vull_file pipe_file{};
    pipe_file.kind = VULL_FILE_STREAM;
    pipe_file.stream = fp;
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    EXPECT_EQ(LodePNG_decode32_vull_file(&out, &w, &h, &pipe_file), VULL_PNG_CANNOT_OPEN);
    EXPECT_EQ(out, nullptr);
    std::fclose(fp);
}

TEST(ImagePng, WholeFileCapAndMemoryFiles) {
    // A sparse file just over 256 MB: refused with 333 and closed again.
    const std::string path = scratch("huge.bin");
    {
        FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(ftruncate(fileno(f), VULL_PNG_MAX_FILE + 1), 0);
        std::fclose(f);
    }
    const int fds = open_fds();
    unsigned char *buf = reinterpret_cast<unsigned char *>(1);
    size_t size = 99;
    EXPECT_EQ(LodePNG_loadFile(&buf, &size, path.c_str()), VULL_PNG_FILE_TOO_LARGE);
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(size, 0u);
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    EXPECT_EQ(LodePNG_decode32_file(&out, &w, &h, path.c_str()), VULL_PNG_FILE_TOO_LARGE);
    EXPECT_EQ(open_fds(), fds);
    fs::remove(path);

    // A memory file decodes the same image twice (its position is reset first).
    std::vector<uint8_t> png = png_of(5, 3);
    vull_file *f = vull_fopen_memory(png.data(), int(png.size()));
    bitmap_ptr a(vull_load_png_from_file(f)), b(vull_load_png_from_file(f));
    vull_fclose(f);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::memcmp(a->pixels, b->pixels, 5 * 3 * 4), 0);
    EXPECT_EQ(vull_getpixel(a.get(), 4, 2), 0x80808080u);
}

TEST(ImagePng, TruncatedAtEveryLength) {
    std::vector<uint8_t> png = png_of(9, 7);
    for (size_t n = 0; n < png.size(); n++) {
        std::vector<uint8_t> cut(png.begin(), png.begin() + long(n));
        if (cut.empty())
            cut.push_back(0); // the memory file wants a block; one stray byte is still no PNG
        bitmap_ptr b(load_png_memory(cut));
        EXPECT_EQ(b, nullptr) << n;
    }
    // The stdio path too, at a few lengths.
    const std::string path = scratch("cut.png");
    for (size_t n : {size_t(0), size_t(8), size_t(33), png.size() - 1}) {
        write_all(path, png.data(), n);
        EXPECT_EQ(vull_load_png(path.c_str()), nullptr) << n;
    }
}

TEST(ImageZlib, CompressRoundTrip) {
    std::vector<uint8_t> in(5000);
    for (size_t i = 0; i < in.size(); i++) in[i] = uint8_t(i * 7 % 13);
    uint8_t *z = nullptr, *back = nullptr;
    size_t zn = 0, bn = 0;
    ASSERT_EQ(vull_compress(in.data(), in.size(), &z, &zn), 0u);
    EXPECT_LT(zn, in.size());
    ASSERT_EQ(vull_decompress(z, zn, &back, &bn), 0u);
    ASSERT_EQ(bn, in.size());
    EXPECT_EQ(std::memcmp(back, in.data(), bn), 0);
    std::free(z);
    std::free(back);
    EXPECT_NE(vull_decompress(in.data(), 10, &back, &bn), 0u);
    EXPECT_EQ(back, nullptr);
}

TEST(ImageTga, RoundTripsDescriptorAndRefusals) {
    vull_palette_rec *saved = vull_palette;
    vull_palette = vull_create_palette();
    vull_palette->entry[3] = {1, 2, 3};

    auto b8 = make(3, 2, 8);
    b8->rows[0][0] = 3;
    b8->rows[1][2] = 200;
    const std::string p8 = scratch("i8.tga"), p32 = scratch("c32.tga");
    EXPECT_EQ(vull_save_tga(p8.c_str(), b8.get()), 0);
    bitmap_ptr r8(vull_load_tga(p8.c_str()));
    ASSERT_NE(r8, nullptr);
    EXPECT_EQ(r8->bpp, 8);
    EXPECT_EQ(r8->rows[0][0], 3);
    EXPECT_EQ(r8->rows[1][2], 200);
    EXPECT_EQ(get_tga_palette()->entry[3].b, 3);

    auto b32 = make(2, 2, 32);
    vull_putpixel(b32.get(), 1, 0, 0x80112233);
    EXPECT_EQ(vull_save_tga(p32.c_str(), b32.get()), 0);
    bitmap_ptr r32(vull_load_tga(p32.c_str()));
    ASSERT_NE(r32, nullptr);
    EXPECT_EQ(vull_getpixel(r32.get(), 1, 0), 0x80112233u);

    // Descriptor bit 0x20 puts the first file row at the top.
    std::vector<uint8_t> file = read_all(p32);
    file[17] = 0x20;
    write_all(p32, file.data(), file.size());
    bitmap_ptr flipped(vull_load_tga(p32.c_str()));
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(vull_getpixel(flipped.get(), 1, 1), 0x80112233u);

    // 24-bit pixels, RLE image types and zero sizes are refused.
    std::vector<uint8_t> bad = read_all(p32);
    bad[16] = 24;
    write_all(p32, bad.data(), bad.size());
    EXPECT_EQ(vull_load_tga(p32.c_str()), nullptr);
    for (uint8_t type : {9, 10}) {
        bad = read_all(p8);
        bad[2] = type;
        write_all(p8, bad.data(), bad.size());
        EXPECT_EQ(vull_load_tga(p8.c_str()), nullptr);
    }
    bad = file;
    bad[12] = bad[13] = 0;
    write_all(p32, bad.data(), bad.size());
    EXPECT_EQ(vull_load_tga(p32.c_str()), nullptr);

    // A colour map of 300 entries: the first 256 fill the table, the rest are read past.
    std::vector<uint8_t> longmap = {0, 1, 1, 0, 0, 44, 1, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0};
    for (int i = 0; i < 300; i++)
        longmap.insert(longmap.end(), {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)});
    longmap.push_back(42);
    write_all(p8, longmap.data(), longmap.size());
    bitmap_ptr lm(vull_load_tga(p8.c_str()));
    ASSERT_NE(lm, nullptr);
    EXPECT_EQ(lm->rows[0][0], 42);
    EXPECT_EQ(get_tga_palette()->entry[255].r, uint8_t(255 + 2));

    EXPECT_EQ(vull_save_tga(p8.c_str(), nullptr), 1);
    auto b16 = make(2, 2, 16);
    EXPECT_EQ(vull_save_tga(p8.c_str(), b16.get()), 1);
    EXPECT_EQ(vull_load_tga(scratch("missing.tga").c_str()), nullptr);
    vull_destroy_palette(vull_palette);
    vull_palette = saved;
}

TEST(ImageBmp, UnpaddedRoundTripAndRefusals) {
    auto b = make(3, 2, 32);
    vull_putpixel(b.get(), 0, 0, 0xFF112233);
    vull_putpixel(b.get(), 2, 1, 0x80A0B0C0);
    const std::string path = scratch("w3.bmp");
    EXPECT_EQ(vull_save_bmp(path.c_str(), b.get()), 0);
    std::vector<uint8_t> file = read_all(path);
    ASSERT_EQ(file.size(), 54u + 3 * 3 * 2); // rows are not padded
    EXPECT_EQ(file[2], 54 + 18);
    EXPECT_EQ(file[34], 48); // the image-size field's constant
    bitmap_ptr back(vull_load_bmp(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(vull_getpixel(back.get(), 0, 0), 0x00112233u);
    EXPECT_EQ(vull_getpixel(back.get(), 2, 1), 0x00A0B0C0u);
    EXPECT_EQ(vull_getpixel(back.get(), 1, 1), 0u);
    bitmap_ptr any(vull_load_image(path.c_str()));
    EXPECT_NE(any, nullptr);

    auto refused = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> bad = file;
        bad[offset] = value;
        write_all(path, bad.data(), bad.size());
        return vull_load_bmp(path.c_str()) == nullptr;
    };
    EXPECT_TRUE(refused(46, 1));    // colours used
    EXPECT_TRUE(refused(28, 32));   // 32 bits per pixel
    EXPECT_TRUE(refused(30, 1));    // compressed
    EXPECT_TRUE(refused(25, 0xFF)); // negative (top-down) height
    EXPECT_TRUE(refused(0, 'X'));   // no "BM"

    auto b8 = make(2, 2, 8);
    EXPECT_EQ(vull_save_bmp(path.c_str(), b8.get()), 1);
    EXPECT_EQ(vull_save_bmp(path.c_str(), nullptr), 1);
}

TEST(ImageRaw, TruncatedFilesAtEveryLength) {
    auto b = make(5, 3, 32);
    vull_rectfill(b.get(), 0, 0, 4, 2, 0xFF445566);
    auto b8 = make(5, 3, 8);
    const std::string full_bmp = scratch("full.bmp"), full_tga = scratch("full.tga"),
                      full_tga8 = scratch("full8.tga");
    ASSERT_EQ(vull_save_bmp(full_bmp.c_str(), b.get()), 0);
    ASSERT_EQ(vull_save_tga(full_tga.c_str(), b.get()), 0);
    ASSERT_EQ(vull_save_tga(full_tga8.c_str(), b8.get()), 0);
    const std::string cut = scratch("cut.img");
    const int fds = open_fds();
    const int items = vull_items_created;
    for (const std::string &src : {full_bmp, full_tga, full_tga8}) {
        std::vector<uint8_t> data = read_all(src);
        for (size_t n = 0; n < data.size(); n++) {
            write_all(cut, data.data(), n);
            EXPECT_EQ(vull_load_bmp(cut.c_str()), nullptr) << src << " " << n;
            EXPECT_EQ(vull_load_tga(cut.c_str()), nullptr) << src << " " << n;
        }
        write_all(cut, data.data(), data.size());
        bitmap_ptr whole(vull_load_image(cut.c_str()));
        EXPECT_NE(whole, nullptr) << src;
    }
    EXPECT_EQ(open_fds(), fds);
    EXPECT_EQ(vull_items_created, items);

    // A tiny file claiming a huge picture is refused before any allocation.
    std::vector<uint8_t> head = read_all(full_tga);
    head[12] = head[13] = head[14] = head[15] = 0xFF;
    head.resize(40);
    write_all(cut, head.data(), head.size());
    EXPECT_EQ(vull_load_tga(cut.c_str()), nullptr);
}
