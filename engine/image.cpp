// PNG files through LodePNG, and the engine's zlib entry points.
//
// Every decode reads the PNG header first and refuses sizes the caller
// cannot use, so a tiny hostile file cannot make the decoder allocate
// gigabytes. LodePNG works on R, G, B, A bytes; engine pixels are native
// 0xAARRGGBB words (bytes B, G, R, A), so transfers swap bytes 0 and 2.
#include "engine/image.h"

#include <lodepng.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/disk.h"
#include "platform/system.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/vull.h"

namespace {

LodePNGCompressSettings &engine_compress_settings() {
    static LodePNGCompressSettings settings = [] {
        LodePNGCompressSettings s;
        lodepng_compress_settings_init(&s);
        s.btype = 2;
        s.use_lz77 = 1;
        s.windowsize = 512;
        return s;
    }();
    return settings;
}

// Bytes of filtered scanlines that a w x h picture of bpp bits a pixel holds
// once inflated, with Adam7's seven passes when it is interlaced.
uint64_t scanline_bytes(unsigned w, unsigned h, unsigned bpp, bool interlaced) {
    auto block = [bpp](uint64_t pw, uint64_t ph) {
        return pw && ph ? ph * (1 + (pw * bpp + 7) / 8) : 0;
    };
    if (!interlaced) return block(w, h);
    static constexpr unsigned ix[7] = {0, 4, 0, 2, 0, 1, 0}, iy[7] = {0, 0, 4, 0, 2, 0, 1};
    static constexpr unsigned sx[7] = {8, 8, 4, 4, 2, 2, 1}, sy[7] = {8, 8, 8, 4, 4, 2, 2};
    uint64_t total = 0;
    for (int i = 0; i < 7; i++)
        total += block((uint64_t(w) + sx[i] - ix[i] - 1) / sx[i],
                       (uint64_t(h) + sy[i] - iy[i] - 1) / sy[i]);
    return total;
}

// The colour type and bit depth pairs a PNG can hold, which are the ones
// LodePNG converts to; other requests would get a buffer that does not match.
bool valid_colour_mode(int colour_type, unsigned bit_depth) {
    switch (colour_type) {
    case LCT_GREY:
        return bit_depth == 1 || bit_depth == 2 || bit_depth == 4 || bit_depth == 8 ||
               bit_depth == 16;
    case LCT_PALETTE: return bit_depth == 1 || bit_depth == 2 || bit_depth == 4 || bit_depth == 8;
    case LCT_RGB:
    case LCT_GREY_ALPHA:
    case LCT_RGBA: return bit_depth == 8 || bit_depth == 16;
    default: return false;
    }
}

// What a decode may take: width, height and bytes of the file.
struct png_limits {
    int64_t width = VULL_PNG_MAX_SIDE, height = VULL_PNG_MAX_SIDE, file = VULL_PNG_MAX_FILE;
};
constexpr png_limits ANY_SIZE{INT32_MAX, INT32_MAX, VULL_PNG_MAX_FILE}; // the raw decoders'

// The bytes of image data (IDAT chunks) a PNG holds; chunk lengths that run
// past the input end the walk.
uint64_t image_data_bytes(const unsigned char *in, size_t insize) {
    uint64_t total = 0;
    size_t pos = 8; // past the signature
    while (pos + 12 <= insize) {
        uint32_t len = uint32_t(in[pos]) << 24 | uint32_t(in[pos + 1]) << 16 |
                       uint32_t(in[pos + 2]) << 8 | in[pos + 3];
        if (len > insize - pos - 12) break;
        if (std::memcmp(in + pos + 4, "IDAT", 4) == 0) total += len;
        pos += size_t(len) + 12;
    }
    return total;
}

// Deflate expands a byte to at most 1032: image data smaller than the header's
// picture allows is damaged, and is refused before a buffer of the picture's
// size is made for it.
constexpr uint64_t DEFLATE_MAX_RATIO = 1032;

// Decodes a PNG held in memory. The header's size is checked against the
// limits before any pixel is decoded; the output block must also stay within
// the allocator's cap.
unsigned decode_memory(unsigned char **out, unsigned *w, unsigned *h, const unsigned char *in,
                       size_t insize, int colour_type, unsigned bit_depth,
                       const png_limits &limits) {
    *out = nullptr;
    *w = *h = 0;
    if (!in || insize == 0) return 48; // LodePNG's "empty input buffer"
    if (!valid_colour_mode(colour_type, bit_depth))
        return 31; // LodePNG's "illegal PNG color type or bpp"
    LodePNGState state;
    lodepng_state_init(&state);
    state.info_raw.colortype = LodePNGColorType(colour_type);
    state.info_raw.bitdepth = bit_depth;
#ifdef ZIBO6_FUZZ_UNCHECKED_PNG
    // Fuzz build only (tools/fuzz sets it): a mutated file almost never keeps
    // its checksums, and the fuzzer should reach the checks behind them.
    state.decoder.ignore_crc = 1;
    state.decoder.zlibsettings.ignore_adler32 = 1;
    state.decoder.zlibsettings.ignore_nlen = 1;
#endif
    unsigned iw = 0, ih = 0;
    unsigned err = lodepng_inspect(&iw, &ih, &state, in, insize);
    if (!err) {
        int block = 0;
        uint64_t row_bits = uint64_t(iw) * lodepng_get_bpp(&state.info_raw);
        if (iw == 0 || ih == 0)
            err = 93;
        else if (iw > limits.width || ih > limits.height ||
                 !vull_checked_size(ih, int64_t((row_bits + 7) / 8), 0, &block))
            err = VULL_PNG_TOO_MANY_PIXELS;
    }
    if (!err) {
        // Image data that inflates past what the header promises is corrupt;
        // stop there rather than let a small file grow a huge buffer.
        uint64_t expected = scanline_bytes(iw, ih, lodepng_get_bpp(&state.info_png.color),
                                           state.info_png.interlace_method != 0);
        state.decoder.zlibsettings.max_output_size = size_t(std::min<uint64_t>(expected, SIZE_MAX));
        if (image_data_bytes(in, insize) * DEFLATE_MAX_RATIO < expected)
            err = 30; // LodePNG's "chunk length too large, chunk broken off at end of file"
        else
            err = lodepng_decode(out, w, h, &state, in, insize);
    }
    lodepng_state_cleanup(&state);
    if (err) {
        std::free(*out);
        *out = nullptr;
        *w = *h = 0;
    }
    return err;
}

// Reads a whole stream from its start; the size is measured by seeking to the end.
unsigned read_stream(FILE *fp, unsigned char **buf, size_t *size, int64_t max_file) {
    *buf = nullptr;
    *size = 0;
    if (std::fseek(fp, 0, SEEK_END) != 0) return VULL_PNG_CANNOT_OPEN;
    long n = std::ftell(fp);
    if (n < 0) // a pipe or another stream without a size
        return VULL_PNG_CANNOT_OPEN;
    if (n > max_file) return VULL_PNG_FILE_TOO_LARGE;
    std::rewind(fp);
    if (n == 0) return 0;
    auto *data = static_cast<unsigned char *>(vull_malloc(int(n)));
    if (!data) return VULL_PNG_NO_MEMORY;
    size_t got = std::fread(data, 1, size_t(n), fp);
    *buf = data;
    *size = got;
    return 0;
}

unsigned decode_vull_file(unsigned char **out, unsigned *w, unsigned *h, vull_file *f,
                          int colour_type, unsigned bit_depth, const png_limits &limits) {
    *out = nullptr;
    *w = *h = 0;
    if (!f) return VULL_PNG_NULL_FILE;
    if (f->kind == VULL_FILE_STREAM) {
        if (!f->stream) return VULL_PNG_NULL_FILE;
        unsigned char *buf = nullptr;
        size_t size = 0;
        unsigned err = read_stream(f->stream, &buf, &size, limits.file);
        if (!err) err = decode_memory(out, w, h, buf, size, colour_type, bit_depth, limits);
        vull_free(buf);
        return err;
    }
    if (f->kind == VULL_FILE_MEMORY) {
        f->position = 0;
        if (!f->data || f->length <= 0) return 48;
        if (f->length > limits.file) return VULL_PNG_FILE_TOO_LARGE;
        return decode_memory(out, w, h, f->data, size_t(f->length), colour_type, bit_depth,
                             limits);
    }
    return 0;
}

void swap_red_blue(uint8_t *p, size_t pixels) { vull_rgba_to_pixels(p, p, pixels); }

// What a decode within max_width x max_height may take: 8 bytes a pixel
// (16-bit RGBA stored plainly) and 1 MiB of other chunks.
png_limits limits_within(int max_width, int max_height) {
    png_limits limits;
    limits.width = std::clamp(max_width, 1, VULL_PNG_MAX_SIDE);
    limits.height = std::clamp(max_height, 1, VULL_PNG_MAX_SIDE);
    limits.file = std::min(VULL_PNG_MAX_FILE, 8 * limits.width * limits.height + (1 << 20));
    return limits;
}

} // namespace

// Red and blue swapped (in place when dst is src), two pixels a step:
// pictures of a megabyte or more pass here.
void vull_rgba_to_pixels(uint8_t *dst, const uint8_t *rgba, size_t pixels) {
    constexpr bool little = std::endian::native == std::endian::little;
    constexpr uint64_t KEEP = little ? 0xff00ff00ff00ff00u : 0x00ff00ff00ff00ffu;
    constexpr uint64_t LOW = little ? 0x000000ff000000ffu : 0x0000ff000000ff00u;
    size_t i = 0;
    for (; i + 2 <= pixels; i += 2, dst += 8, rgba += 8) {
        uint64_t v;
        std::memcpy(&v, rgba, 8);
        v = (v & KEEP) | (v & LOW) << 16 | (v >> 16 & LOW);
        std::memcpy(dst, &v, 8);
    }
    if (i < pixels) {
        uint32_t v;
        std::memcpy(&v, rgba, 4);
        v = uint32_t((v & uint32_t(KEEP)) | (v & uint32_t(LOW)) << 16 | (v >> 16 & uint32_t(LOW)));
        std::memcpy(dst, &v, 4);
    }
}

/*
** Whole files and engine files
*/

unsigned LodePNG_loadFile(unsigned char **out, size_t *outsize, const char *path) {
    *out = nullptr;
    *outsize = 0;
    // regular files only; the read below stops past the cap and names it
    FILE *fp = vull_open_read(path, INT64_MAX);
    if (!fp) return VULL_PNG_CANNOT_OPEN;
    unsigned err = read_stream(fp, out, outsize, VULL_PNG_MAX_FILE);
    std::fclose(fp);
    return err;
}

unsigned LodePNG_decode_file(unsigned char **out, unsigned *w, unsigned *h, const char *path,
                             int colour_type, unsigned bit_depth) {
    *out = nullptr;
    *w = *h = 0;
    unsigned char *buf = nullptr;
    size_t size = 0;
    unsigned err = LodePNG_loadFile(&buf, &size, path);
    if (!err) err = decode_memory(out, w, h, buf, size, colour_type, bit_depth, ANY_SIZE);
    vull_free(buf);
    return err;
}

unsigned LodePNG_decode32_file(unsigned char **out, unsigned *w, unsigned *h, const char *path) {
    return LodePNG_decode_file(out, w, h, path, LCT_RGBA, 8);
}

unsigned LodePNG_decode_vull_file(unsigned char **out, unsigned *w, unsigned *h, vull_file *f,
                                  int colour_type, unsigned bit_depth) {
    return decode_vull_file(out, w, h, f, colour_type, bit_depth, ANY_SIZE);
}

unsigned LodePNG_decode32_vull_file(unsigned char **out, unsigned *w, unsigned *h, vull_file *f) {
    return decode_vull_file(out, w, h, f, LCT_RGBA, 8, ANY_SIZE);
}

/*
** Bitmaps
*/

// A 32-bit bitmap of the PNG in f within the limits, or null (too_large set
// when the file or the header's size passed them).
static vull_bitmap *load_png_limited(vull_file *f, const png_limits &limits, int *too_large) {
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    unsigned err = decode_vull_file(&rgba, &w, &h, f, LCT_RGBA, 8, limits);
    if (too_large) *too_large = err == VULL_PNG_TOO_MANY_PIXELS || err == VULL_PNG_FILE_TOO_LARGE;
    if (err != 0) return nullptr;
    vull_bitmap *bmp = nullptr;
    if (w >= 1 && h >= 1 && w <= VULL_PNG_MAX_SIDE && h <= VULL_PNG_MAX_SIDE)
        bmp = vull_create_bitmap(int(w), int(h), 32);
    if (bmp) vull_rgba_to_pixels(bmp->pixels, rgba, size_t(w) * h);
    std::free(rgba);
    return bmp;
}

vull_bitmap *vull_load_png_from_file(vull_file *f) { return load_png_limited(f, {}, nullptr); }

vull_bitmap *vull_load_png_within(const char *path, int max_width, int max_height,
                                  int *too_large) {
    if (too_large) *too_large = 0;
    if (!path) return nullptr;
    vull_file *f = vull_fopen(path, "rb");
    if (!f) return nullptr;
    vull_bitmap *bmp = load_png_limited(f, limits_within(max_width, max_height), too_large);
    vull_fclose(f);
    return bmp;
}

uint8_t *vull_load_png_rgba_within(const char *path, int max_width, int max_height, int *width,
                                   int *height, int *too_large) {
    *width = *height = 0;
    if (too_large) *too_large = 0;
    if (!path) return nullptr;
    vull_file *f = vull_fopen(path, "rb");
    if (!f) return nullptr;
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    unsigned err = decode_vull_file(&rgba, &w, &h, f, LCT_RGBA, 8,
                                    limits_within(max_width, max_height));
    vull_fclose(f);
    if (too_large) *too_large = err == VULL_PNG_TOO_MANY_PIXELS || err == VULL_PNG_FILE_TOO_LARGE;
    if (err != 0 || !rgba) {
        std::free(rgba);
        return nullptr;
    }
    *width = int(w);
    *height = int(h);
    return rgba;
}

vull_bitmap *vull_load_png(const char *path) {
    if (!path) return nullptr;
    vull_file *f = vull_fopen(path, "rb");
    if (!f) return nullptr;
    vull_bitmap *bmp = vull_load_png_from_file(f);
    vull_fclose(f);
    return bmp;
}

int vull_save_png(const char *path, const vull_bitmap *bmp) {
    if (!bmp || !path) return 1;
    vull_bitmap *copy = vull_create_bitmap(bmp->width, bmp->height, 32);
    unsigned err = 83; // LodePNG's "memory allocation failed"
    if (copy) {
        if (bmp->bpp == 32)
            vull_blit(bmp, copy, 0, 0, 0, 0, bmp->width, bmp->height);
        else if (bmp->bpp == 8)
            vull_convert_bitmap(bmp, copy, vull_palette);
        size_t n = size_t(copy->width) * size_t(copy->height);
        swap_red_blue(copy->pixels, n);
        unsigned char *png = nullptr;
        size_t png_size = 0;
        err = lodepng_encode_memory(&png, &png_size, copy->pixels, unsigned(copy->width),
                                    unsigned(copy->height), LCT_RGBA, 8);
        // LodePNG's "failed to open file for writing" when the one writer could not save it
        if (err == 0 && vull_save_file(path, png, int64_t(png_size)) != 0) err = 79;
        std::free(png);
        vull_destroy_bitmap(copy);
    }
    vull_debugf("vull_save_png result: %d  file: %s\n", int(err), path);
    return int(err);
}

/*
** zlib
*/

unsigned vull_compress(const uint8_t *in, size_t length, uint8_t **out, size_t *out_length) {
    *out = nullptr;
    *out_length = 0;
    return lodepng_zlib_compress(out, out_length, in, length, &engine_compress_settings());
}

unsigned vull_decompress(const uint8_t *in, size_t length, uint8_t **out, size_t *out_length) {
    *out = nullptr;
    *out_length = 0;
    LodePNGDecompressSettings settings = lodepng_default_decompress_settings;
    settings.max_output_size = size_t(VULL_ALLOC_CAP);
    unsigned err = lodepng_zlib_decompress(out, out_length, in, length, &settings);
    if (err) {
        std::free(*out);
        *out = nullptr;
        *out_length = 0;
    }
    return err;
}

void vull_set_zlib_window_size(int n) { engine_compress_settings().windowsize = unsigned(n); }
