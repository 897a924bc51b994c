// Uncompressed TGA (8 or 32 bits) and unpadded 24-bit BMP files.
//
// The readers measure what the file still holds before they allocate, and
// refuse a file whose pixel data is cut short, so a truncated or lying header
// gives a clear failure instead of a huge allocation or a half-read picture.
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/vull.h"

namespace {

vull_palette_rec tga_palette;

// Little-endian reads that remember whether the file ran out.
struct reader {
    vull_file *f;
    bool short_read = false;

    bool bytes(void *buf, int n) {
        if (n <= 0) return true;
        if (vull_fread(buf, 1, n, f) != n) {
            short_read = true;
            return false;
        }
        return true;
    }
    uint32_t u8() {
        uint8_t b = 0;
        bytes(&b, 1);
        return b;
    }
    uint32_t u16() {
        uint8_t b[2] = {};
        bytes(b, 2);
        return b[0] | uint32_t(b[1]) << 8;
    }
    uint32_t u32() {
        uint8_t b[4] = {};
        bytes(b, 4);
        return b[0] | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    void skip(int64_t n) {
        uint8_t sink[256];
        while (n > 0 && !short_read) {
            int k = int(n < 256 ? n : 256);
            bytes(sink, k);
            n -= k;
        }
    }
};

// Bytes left between the position and the end; -1 when that cannot be told.
int64_t bytes_left(vull_file *f) {
    if (f->kind == VULL_FILE_MEMORY)
        return f->length > f->position ? int64_t(f->length) - f->position : 0;
    if (f->kind != VULL_FILE_STREAM || !f->stream) return -1;
    long here = std::ftell(f->stream);
    if (here < 0 || std::fseek(f->stream, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(f->stream);
    std::fseek(f->stream, here, SEEK_SET);
    return end < here ? -1 : int64_t(end) - here;
}

// Logs the reader's line and opens the path (stdio, else the virtual disk).
vull_file *open_image(const char *path, const char *log_format) {
    if (!path) return nullptr;
    vull_debugf(log_format, path);
    vull_file *f = vull_fopen(path, "rb");
    if (!f) vull_debug("not found\n");
    return f;
}

vull_bitmap *fail(vull_file *f, vull_bitmap *bmp) {
    vull_destroy_bitmap(bmp);
    vull_fclose(f);
    vull_debug("failed\n");
    return nullptr;
}

// Writes with a running success flag.
struct writer {
    vull_file *f;
    bool ok = true;

    void bytes(const void *buf, int n) {
        if (n > 0 && ok && vull_fwrite(buf, 1, n, f) != n) ok = false;
    }
    void u8(uint32_t v) {
        uint8_t b = uint8_t(v);
        bytes(&b, 1);
    }
    void u16(uint32_t v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        bytes(b, 2);
    }
    void u32(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
};

// Hands the built file to the one writer; the buffer is released either way.
bool finish(writer &out, const char *path) {
    bool ok = out.ok && vull_save_file(path, out.f->data, out.f->length) == 0;
    vull_destroy_buffer(out.f);
    return ok;
}

} // namespace

vull_palette_rec *get_tga_palette() { return &tga_palette; }

/*
** TGA
*/

vull_bitmap *vull_load_tga(const char *path) {
    vull_file *f = open_image(path, "vull_load_tga %s ");
    if (!f) return nullptr;
    reader in{f};
    const uint32_t id_length = in.u8();
    const uint32_t map_type = in.u8();
    const uint32_t image_type = in.u8();
    vull_debugf("[%d %d]", int(image_type), int(map_type));
    if (in.short_read || (image_type != 1 && image_type != 2)) return fail(f, nullptr);
    in.u16(); // first colour map entry: not applied
    const uint32_t map_length = in.u16();
    const uint32_t entry_size = in.u8();
    in.u16(); // x origin
    in.u16(); // y origin
    const int width = int(in.u16());
    const int height = int(in.u16());
    const uint32_t depth = in.u8();
    const uint32_t descriptor = in.u8();
    in.skip(id_length);
    if (in.short_read || (depth != 8 && depth != 32)) return fail(f, nullptr);
    const int64_t map_bytes = entry_size == 24 ? int64_t(map_length) * 3 : 0;
    int pixel_bytes = 0;
    const int64_t left = bytes_left(f);
    if (!vull_checked_size(int64_t(width) * height, depth / 8, 0, &pixel_bytes) ||
        (left >= 0 && left < map_bytes + pixel_bytes))
        return fail(f, nullptr);
    vull_bitmap *bmp = vull_create_bitmap(width, height, int(depth));
    if (!bmp) return fail(f, nullptr);
    // The table holds 256 entries; a longer map is read past so the pixels stay aligned.
    if (entry_size == 24) {
        for (uint32_t i = 0; i < map_length; i++) {
            uint8_t bgr[3];
            if (!in.bytes(bgr, 3)) return fail(f, bmp);
            if (i < 256) tga_palette.entry[i] = {bgr[2], bgr[1], bgr[0]};
        }
    }
    std::vector<uint8_t> row(size_t(width) * (depth / 8));
    for (int y = 0; y < height; y++) {
        const int by = (descriptor & 0x20) ? y : height - 1 - y;
        if (!in.bytes(row.data(), int(row.size()))) return fail(f, bmp);
        if (depth == 8) {
            std::memcpy(bmp->rows[by], row.data(), row.size());
        } else {
            for (int x = 0; x < width; x++) {
                const uint8_t *p = &row[size_t(x) * 4];
                vull_putpixel(bmp, x, by,
                              p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                  uint32_t(p[3]) << 24);
            }
        }
    }
    vull_fclose(f);
    vull_debug("ok\n");
    return bmp;
}

int vull_save_tga(const char *path, const vull_bitmap *bmp) {
    if (!path) return 1;
    vull_debugf("vull_save_tga %s\n", path);
    if (!bmp || (bmp->bpp != 8 && bmp->bpp != 32) || !bmp->rows || bmp->width > 0xFFFF ||
        bmp->height > 0xFFFF)
        return 1;
    vull_file *f = vull_create_buffer(4096); // handed whole to the one writer below
    if (!f) return 1;
    const bool indexed = bmp->bpp == 8;
    writer out{f};
    out.u8(0);
    out.u8(indexed ? 1 : 0);
    out.u8(indexed ? 1 : 2);
    out.u16(0);
    out.u16(indexed ? 256 : 0);
    out.u8(indexed ? 24 : 0);
    out.u16(0);
    out.u16(0);
    out.u16(uint32_t(bmp->width));
    out.u16(uint32_t(bmp->height));
    out.u8(uint32_t(bmp->bpp));
    out.u8(0);
    if (indexed) {
        for (int i = 0; i < 256; i++) {
            vull_rgb e = vull_palette ? vull_palette->entry[i] : vull_rgb{0, 0, 0};
            const uint8_t bgr[3] = {e.b, e.g, e.r};
            out.bytes(bgr, 3);
        }
    }
    // Rows bottom to top; 32-bit words are stored little-endian (B, G, R, A) as they lie.
    const int row_bytes = bmp->width * (bmp->bpp / 8);
    for (int y = bmp->height - 1; y >= 0; y--) out.bytes(bmp->rows[y], row_bytes);
    if (!finish(out, path)) return 1;
    vull_debugf("saved %s\n", path);
    return 0;
}

/*
** BMP (rows are not padded to four bytes, in either direction)
*/

vull_bitmap *vull_load_bmp(const char *path) {
    vull_file *f = open_image(path, "vull_load_bmp %s ");
    if (!f) return nullptr;
    reader in{f};
    char magic[2] = {};
    in.bytes(magic, 2);
    if (in.short_read || magic[0] != 'B' || magic[1] != 'M') return fail(f, nullptr);
    in.skip(16); // file size, reserved words, data offset, header size
    const int32_t width = int32_t(in.u32());
    const int32_t height = int32_t(in.u32());
    in.u16(); // planes
    const uint32_t bits = in.u16();
    const uint32_t compression = in.u32();
    in.u32(); // image size
    in.u32(); // horizontal resolution
    in.u32(); // vertical resolution
    const uint32_t colours_used = in.u32();
    in.u32(); // important colours
    // A negative (top-down) height is not accepted.
    if (in.short_read || bits != 24 || compression != 0 || colours_used != 0 || width < 1 ||
        height < 1)
        return fail(f, nullptr);
    int pixel_bytes = 0;
    const int64_t left = bytes_left(f);
    if (!vull_checked_size(int64_t(width) * height, 3, 0, &pixel_bytes) ||
        (left >= 0 && left < pixel_bytes))
        return fail(f, nullptr);
    vull_bitmap *bmp = vull_create_bitmap(width, height, 32);
    if (!bmp) return fail(f, nullptr);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = height - 1; y >= 0; y--) {
        if (!in.bytes(row.data(), int(row.size()))) return fail(f, bmp);
        for (int x = 0; x < width; x++) {
            const uint8_t *p = &row[size_t(x) * 3];
            vull_putpixel(bmp, x, y, p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16);
        }
    }
    vull_fclose(f);
    vull_debug("ok\n");
    return bmp;
}

int vull_save_bmp(const char *path, const vull_bitmap *bmp) {
    if (!path) return 1;
    vull_debugf("vull_save_bmp %s\n", path);
    if (!bmp || bmp->bpp != 32 || !bmp->rows) return 1;
    const int64_t file_size = int64_t(bmp->width) * 3 * bmp->height + 54;
    if (file_size > int64_t(UINT32_MAX)) return 1;
    vull_file *f = vull_create_buffer(4096); // handed whole to the one writer below
    if (!f) return 1;
    writer out{f};
    out.bytes("BM", 2);
    out.u32(uint32_t(file_size));
    out.u16(0);
    out.u16(0);
    out.u32(54);
    out.u32(40);
    out.u32(uint32_t(bmp->width));
    out.u32(uint32_t(bmp->height));
    out.u16(1);
    out.u16(24);
    out.u32(0);
    out.u32(48); // the image-size field holds this constant, as the format has always been written
    out.u32(2834);
    out.u32(2834);
    out.u32(0);
    out.u32(0);
    std::vector<uint8_t> row(size_t(bmp->width) * 3);
    for (int y = bmp->height - 1; y >= 0; y--) {
        for (int x = 0; x < bmp->width; x++) {
            const uint32_t p = vull_getpixel(bmp, x, y);
            row[size_t(x) * 3] = uint8_t(p);
            row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(p >> 16);
        }
        out.bytes(row.data(), int(row.size()));
    }
    return finish(out, path) ? 0 : 1;
}

vull_bitmap *vull_load_image(const char *path) {
    if (vull_bitmap *bmp = vull_load_bmp(path)) return bmp;
    return vull_load_tga(path);
}
