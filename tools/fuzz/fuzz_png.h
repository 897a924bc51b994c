// Valid PNG files drawn from the fuzzer's bytes. A mutated PNG file almost
// never passes the decoder's checksums, so the readers behind the decoder
// (the cart in the pixels' low bits, the board's listings and labels) would
// see only the committed seeds; the entries draw a picture instead and encode
// it, keeping one mode in which the input is a PNG file read as it is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/fuzz/hostile_inputs.h" // FUZZ_HARNESS_UNTRACED

// The checksums' loops only read bytes the harness itself bounds, a megabyte
// or two for every input: no address checks for them either.
#if defined(__clang__)
#define FUZZ_HARNESS_CHECKSUM __attribute__((no_sanitize("coverage", "address")))
#else
#define FUZZ_HARNESS_CHECKSUM
#endif

// What the first byte of a PNG entry's input asks for: the rest read as a PNG
// file (its chunk checksums mended), or drawn by the entry into a picture.
constexpr uint8_t FUZZ_PNG_AS_FILE = 0;

// CRC-32 of PNG chunks, eight bytes a step: a page of a megabyte or two is
// checksummed for every input.
struct fuzz_png_crc_table {
    uint32_t t[8][256];
    fuzz_png_crc_table() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (int k = 1; k < 8; k++) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 255];
    }
};

FUZZ_HARNESS_CHECKSUM inline uint32_t fuzz_png_crc32(const uint8_t *p, size_t n) {
    static const fuzz_png_crc_table table;
    const uint32_t(*t)[256] = table.t;
    uint32_t crc = 0xffffffffu;
    for (; n >= 8; p += 8, n -= 8) {
        uint32_t a = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                            uint32_t(p[3]) << 24);
        crc = t[7][a & 255] ^ t[6][(a >> 8) & 255] ^ t[5][(a >> 16) & 255] ^ t[4][a >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n; n--) crc = t[0][(crc ^ *p++) & 255] ^ (crc >> 8);
    return ~crc;
}

// The file with the checksum of every whole chunk mended, so that a mutated
// header or chunk list reaches the checks behind the decoder's. The walk ends
// at the first chunk that runs past the end.
FUZZ_HARNESS_UNTRACED inline void fuzz_png_mend_crcs(std::vector<uint8_t> &file) {
    size_t pos = 8; // past the signature
    while (pos + 12 <= file.size()) {
        const uint8_t *p = &file[pos];
        const size_t len = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (len > file.size() - pos - 12) break;
        const uint32_t crc = fuzz_png_crc32(&file[pos + 4], len + 4);
        for (int i = 0; i < 4; i++) file[pos + 8 + len + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        pos += len + 12;
    }
}

// Scanline bytes written as stored deflate blocks of at most 65,535 bytes,
// with their Adler-32.
struct fuzz_png_stored_blocks {
    uint8_t *o;  // next byte of the file
    size_t left; // scanline bytes still to come
    size_t left_in_block = 0;
    uint32_t s1 = 1, s2 = 0;
};

// Adds n bytes to an Adler-32's two sums.
FUZZ_HARNESS_CHECKSUM inline void fuzz_png_adler32(uint32_t &a, uint32_t &b, const uint8_t *p,
                                                   size_t n) {
    uint32_t s1 = a, s2 = b;
    for (size_t done = 0; done < n;) { // 5,552 bytes at most between reductions
        const size_t end = n - done < 5552 ? n : done + 5552;
        for (; done < end; done++) s1 += p[done], s2 += s1;
        s1 %= 65521, s2 %= 65521;
    }
    a = s1, b = s2;
}

FUZZ_HARNESS_UNTRACED inline void fuzz_png_emit(fuzz_png_stored_blocks &b, const uint8_t *src,
                                                size_t n) {
    while (n) {
        if (b.left_in_block == 0) {
            b.left_in_block = b.left < 65535 ? b.left : 65535;
            *b.o++ = b.left == b.left_in_block; // BFINAL, stored
            *b.o++ = uint8_t(b.left_in_block), *b.o++ = uint8_t(b.left_in_block >> 8);
            *b.o++ = uint8_t(~b.left_in_block), *b.o++ = uint8_t(~b.left_in_block >> 8);
        }
        const size_t k = n < b.left_in_block ? n : b.left_in_block;
        std::memcpy(b.o, src, k);
        fuzz_png_adler32(b.s1, b.s2, b.o, k);
        b.o += k, src += k, n -= k, b.left_in_block -= k, b.left -= k;
    }
}

// Checksums of concatenations from the checksums of their parts (the CRC as
// a product of polynomials modulo the CRC's, reflected).
FUZZ_HARNESS_CHECKSUM inline uint32_t fuzz_png_crc_mult(uint32_t a, uint32_t b) {
    uint32_t m = 1u << 31, p = 0;
    for (;;) {
        if (a & m) {
            p ^= b;
            if ((a & (m - 1)) == 0) return p;
        }
        m >>= 1;
        b = b & 1 ? (b >> 1) ^ 0xedb88320u : b >> 1;
    }
}

// x^(8n) modulo the CRC polynomial: what a CRC is multiplied by when n bytes follow.
FUZZ_HARNESS_CHECKSUM inline uint32_t fuzz_png_crc_shift(size_t n) {
    uint32_t p = 1u << 31, sq = 1u << 30; // x^0; x^1, squared at each bit of 8n
    for (size_t bits = n * 8; bits; bits >>= 1) {
        if (bits & 1) p = fuzz_png_crc_mult(sq, p);
        sq = fuzz_png_crc_mult(sq, sq);
    }
    return p;
}

FUZZ_HARNESS_CHECKSUM inline uint32_t fuzz_png_crc_combine(uint32_t crc1, uint32_t crc2,
                                                           uint32_t shift2) {
    return fuzz_png_crc_mult(shift2, crc1) ^ crc2;
}

FUZZ_HARNESS_CHECKSUM inline uint32_t fuzz_png_adler_combine(uint32_t a1, uint32_t a2,
                                                             size_t len2) {
    constexpr uint32_t BASE = 65521;
    const uint32_t rem = uint32_t(len2 % BASE);
    uint32_t sum1 = a1 & 0xffff;
    uint32_t sum2 = uint32_t(uint64_t(rem) * sum1 % BASE);
    sum1 += (a2 & 0xffff) + BASE - 1;
    sum2 += (a1 >> 16) + (a2 >> 16) + BASE - rem;
    if (sum1 >= BASE) sum1 -= BASE;
    if (sum1 >= BASE) sum1 -= BASE;
    if (sum2 >= 2 * BASE) sum2 -= 2 * BASE;
    if (sum2 >= BASE) sum2 -= BASE;
    return sum1 | sum2 << 16;
}

// What an encoding keeps of each row for the next one of the same size: the
// row's Adler-32 (filter byte and pixels) and the CRC-32 and length of its
// span of the file (the block headers within it included).
struct fuzz_png_rows {
    unsigned width = 0, height = 0;
    std::vector<uint32_t> adler, crc, crc_shift;
};

// RGBA pixels, row by row, as an 8-bit RGBA PNG file in `file` (reused, so a
// page costs no fresh memory): stored deflate blocks and no filtering, as
// compressing would cost the fuzzer more than the reading. Empty for a
// picture with no pixels. With `kept`, a row whose `dirty` entry is 0 is the
// one the last encoding of the same size wrote into `file`: its bytes and
// checksums are kept, so a page that changed a few rows costs those rows.
FUZZ_HARNESS_UNTRACED inline void
fuzz_png_encode_into(const std::vector<uint8_t> &rgba, unsigned width, unsigned height,
                     std::vector<uint8_t> &file, fuzz_png_rows *kept = nullptr,
                     const std::vector<uint8_t> *dirty = nullptr) {
    if (!width || !height || rgba.size() != size_t(width) * height * 4) {
        file.clear();
        if (kept) *kept = fuzz_png_rows{};
        return;
    }
    const size_t row = size_t(width) * 4 + 1, raw = row * height;
    const size_t blocks = (raw + 65534) / 65535, idat = 2 + blocks * 5 + raw + 4;
    const size_t file_size = 8 + 25 + 12 + idat + 12;
    fuzz_png_rows scratch;
    fuzz_png_rows &rows = kept ? *kept : scratch;
    const bool reuse = kept && rows.width == width && rows.height == height &&
                       file.size() == file_size && dirty && dirty->size() == height;
    if (!reuse) {
        rows.width = width, rows.height = height;
        rows.adler.assign(height, 0), rows.crc.assign(height, 0), rows.crc_shift.assign(height, 0);
    }
    file.resize(file_size); // every byte is written below
    uint8_t *o = file.data();
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++) *o++ = uint8_t(v >> (24 - 8 * i));
    };
    auto end_chunk = [&](uint8_t *type) { put32(fuzz_png_crc32(type, size_t(o - type))); };
    static const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (uint8_t b : SIGNATURE) *o++ = b;
    put32(13);
    uint8_t *type = o;
    for (char c : {'I', 'H', 'D', 'R'}) *o++ = uint8_t(c);
    put32(width);
    put32(height);
    *o++ = 8, *o++ = 6, *o++ = 0, *o++ = 0, *o++ = 0; // 8-bit RGBA, not interlaced
    end_chunk(type);
    put32(uint32_t(idat));
    type = o;
    for (char c : {'I', 'D', 'A', 'T'}) *o++ = uint8_t(c);
    *o++ = 0x78, *o++ = 0x01; // zlib header: no compression
    uint32_t crc = fuzz_png_crc32(type, 6), adler = 1;
    fuzz_png_stored_blocks out{o, raw};
    static const uint8_t NO_FILTER = 0;
    for (unsigned y = 0; y < height; y++) {
        uint8_t *span = out.o;
        if (reuse && !(*dirty)[y]) { // the same bytes, and the same block headers, as last time
            for (size_t n = row; n;) {
                if (out.left_in_block == 0) {
                    out.left_in_block = out.left < 65535 ? out.left : 65535;
                    out.o += 5;
                }
                const size_t k = n < out.left_in_block ? n : out.left_in_block;
                out.o += k, n -= k, out.left_in_block -= k, out.left -= k;
            }
        } else {
            out.s1 = 1, out.s2 = 0;
            fuzz_png_emit(out, &NO_FILTER, 1);
            fuzz_png_emit(out, rgba.data() + size_t(y) * (row - 1), row - 1);
            rows.adler[y] = out.s2 << 16 | out.s1;
            rows.crc[y] = fuzz_png_crc32(span, size_t(out.o - span));
            rows.crc_shift[y] = fuzz_png_crc_shift(size_t(out.o - span));
        }
        adler = fuzz_png_adler_combine(adler, rows.adler[y], row);
        crc = fuzz_png_crc_combine(crc, rows.crc[y], rows.crc_shift[y]);
    }
    o = out.o;
    uint8_t *tail = o;
    put32(adler);
    put32(fuzz_png_crc_combine(crc, fuzz_png_crc32(tail, 4), fuzz_png_crc_shift(4)));
    put32(0);
    type = o;
    for (char c : {'I', 'E', 'N', 'D'}) *o++ = uint8_t(c);
    end_chunk(type);
}

inline std::vector<uint8_t> fuzz_png_encode(const std::vector<uint8_t> &rgba, unsigned width,
                                            unsigned height) {
    std::vector<uint8_t> file;
    fuzz_png_encode_into(rgba, width, height, file);
    return file;
}
