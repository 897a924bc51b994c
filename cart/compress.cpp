// Code compression: the pxa block reader and the legacy block reader, and
// the check of a block's magic. The writer is in compress_write.cpp.
#include "cart/compress.h"

#include <algorithm>
#include <cstring>

#include "cart/compress_mtf.h"

namespace {

constexpr uint8_t LEGACY_MAGIC[4] = {':', 'c', ':', 0};
constexpr int LITERAL_UNARY_MAX = 16; // one-bits a reader accepts before the width

// ---- bit reader bounded by the real input ----
struct bit_reader {
    const uint8_t *data;
    int64_t limit_bits; // readable bits
    int64_t pos;
    bool exhausted = false;

    int get() {
        if (pos >= limit_bits) {
            exhausted = true;
            return 0;
        }
        int bit = (data[pos >> 3] >> (pos & 7)) & 1;
        pos++;
        return bit;
    }
    uint32_t get_bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++) v |= uint32_t(get()) << i;
        return v;
    }
    int byte_index() const { return int(pos >> 3); }
};

int read_be16(const uint8_t *p) { return (p[0] << 8) | p[1]; }

constexpr char LEGACY_LITERALS[] = "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
static_assert(sizeof LEGACY_LITERALS - 1 == 60, "legacy codes 0-59");

constexpr const char *LEGACY_SHIMS[] = {
    "if(_update60)_update=function()_update60()_update60()end",
    "if(_update60)_update=function()_update60()_update_buttons()_update60()end",
};

} // namespace

int is_compressed_format_header(const uint8_t *bytes) {
    if (std::memcmp(bytes, LEGACY_MAGIC, 4) == 0) return 1;
    if (std::memcmp(bytes, PXA_MAGIC, 4) == 0) return 2;
    return 0;
}

namespace {

// Decodes a pxa block; returns the characters output.
int pxa_decode(const uint8_t *block, int block_len, uint8_t *out, int size,
               code_decode_report *report) {
    if (!block || block_len < PXA_HEADER_SIZE || size <= 0) {
        if (report) *report = {0, 0, size <= 0}; // no header to state a length
        return 0;
    }
    int raw = read_be16(block + 4);
    int claimed = read_be16(block + 6);
    int want = std::min(raw, size);
    if (report) *report = {raw, 0, want == 0};
    if (claimed <= PXA_HEADER_SIZE) return 0;
    int end_byte = std::min(claimed, block_len); // never past the real input
    bit_reader r{block, int64_t(end_byte) * 8, PXA_HEADER_SIZE * 8};
    mtf_table table = identity_table();
    int pos = 0;

    while (pos < want) {
        if (r.get()) {
            int u = 0;
            while (u < LITERAL_UNARY_MAX && r.get()) u++;
            int n = u + 4;
            int index = int(r.get_bits(n)) + (1 << n) - 16;
            if (index > 255 || r.exhausted) break; // damaged stream
            out[pos++] = table[size_t(index)];
            if (pos < size) out[pos] = 0;
            move_to_front(table, index);
        } else {
            int bits = r.get() ? (r.get() ? 5 : 10) : 15;
            int d = int(r.get_bits(bits));
            if (bits == 10 && d == 0) { // raw run up to a 0 byte
                while (pos < want) {
                    int c = int(r.get_bits(8));
                    if (r.exhausted || c == 0) break;
                    out[pos++] = uint8_t(c);
                }
                if (pos < size) out[pos] = 0;
            } else {
                int length = 3;
                for (int chunk = 7; chunk == 7 && !r.exhausted;) {
                    chunk = int(r.get_bits(3));
                    length += chunk;
                }
                int offset = d + 1;
                if (r.exhausted || offset > pos) break; // reaches before the start
                for (int k = 0; k < length && pos < want; k++, pos++) out[pos] = out[pos - offset];
                if (pos < size - 1) out[pos] = 0;
            }
        }
        if (r.exhausted || r.byte_index() >= claimed) break;
    }
    if (report) *report = {raw, pos, pos >= want};
    return pos;
}

} // namespace

int pxa_decompress(const uint8_t *block, int block_len, uint8_t *out, int size) {
    pxa_decode(block, block_len, out, size, nullptr);
    return 0;
}

int decompress_mini(const uint8_t *block, int block_len, uint8_t *out, int size) {
    return decompress_mini_ex(block, block_len, out, size, nullptr);
}

int decompress_mini_ex(const uint8_t *block, int block_len, uint8_t *out, int size,
                       code_decode_report *report) {
    if (report) *report = {};
    if (!block || block_len < 4 || size <= 0) return 0;
    switch (is_compressed_format_header(block)) {
    case 2: pxa_decode(block, block_len, out, size, report); return 0;
    case 1: break;
    default: return 0;
    }
    std::memset(out, 0, size_t(size));
    if (block_len < 8) {
        if (report) report->whole = false; // the header itself is cut
        return 0;
    }
    int raw = read_be16(block + 4);
    if (report) *report = {raw, 0, raw == 0};
    if (size < raw) {
        if (report) report->whole = false;
        return 1;
    }
    int pos = 0, in = 8;
    while (pos < raw && in < block_len) {
        int code = block[in++];
        if (code == 0) {
            if (in >= block_len) break;
            out[pos++] = block[in++];
        } else if (code < 60) {
            out[pos++] = uint8_t(LEGACY_LITERALS[code]);
        } else {
            if (in >= block_len) break;
            int n = block[in++];
            int offset = (code - 60) * 16 + (n & 15);
            int length = (n >> 4) + 2;
            if (offset == 0 || offset > pos) break; // damaged: nothing to copy from
            for (int k = 0; k < length && pos < raw; k++, pos++) out[pos] = out[pos - offset];
        }
    }
    if (report) *report = {raw, pos, pos >= raw};
    // Old writers appended a shim for 60 fps carts; the runtime no longer needs it.
    for (const char *shim : LEGACY_SHIMS) {
        int n = int(std::strlen(shim));
        if (pos >= n && std::memcmp(out + pos - n, shim, size_t(n)) == 0) {
            pos -= n;
            std::memset(out + pos, 0, size_t(n));
            break;
        }
    }
    return pos;
}
