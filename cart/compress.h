// Code compression for the 15,616-byte code block of a cart image: the
// current block (magic "\0pxa": LZ77 with a move-to-front literal coder),
// which every save writes, and the legacy block (":c:\0"), read only.
#pragma once
#include <cstdint>

constexpr int PXA_HEADER_SIZE = 8;       // magic, raw length, compressed length
constexpr int PXA_SCRATCH_SIZE = 262144; // what callers give compress_mini as out
constexpr int PXA_TEXT_MAX = 65535;      // positions are 16-bit

// 1 for the legacy magic ":c:\0", 2 for "\0pxa", else 0. bytes needs 4 bytes.
int is_compressed_format_header(const uint8_t *bytes);

// Compresses length characters of text into out and returns the bytes written.
// When the block would be longer than the text, out gets the text itself (no
// header). Length 0 writes nothing; lengths above 65,535 are cut there. out
// must hold max(block, length) bytes: PXA_SCRATCH_SIZE always does.
int pxa_compress(const char *text, uint8_t *out, int length);
int compress_mini(const char *text, uint8_t *out, int length);

// What a decoder made of a compressed block: the raw length its header states
// and the characters it output (a legacy block's counted before the trailing
// shim is cut). whole: the output reached the stated length, or size when that
// is smaller; a cut or damaged block stops short. Not a compressed block, or
// no size: nothing stated, whole.
struct code_decode_report {
    int stated = 0;
    int decoded = 0;
    bool whole = true;
};

// Decoders. block_len is the real number of bytes readable at block: nothing
// past it is read, whatever the block's own length fields claim, and nothing
// is written past out[size - 1].
// pxa_decompress does not clear out (callers do); it returns 0.
int pxa_decompress(const uint8_t *block, int block_len, uint8_t *out, int size);
// Legacy block: clears size bytes of out first; returns the decoded length, or
// 1 when size is below the raw length. pxa block: 0 (as pxa_decompress).
// Anything else: 0.
int decompress_mini(const uint8_t *block, int block_len, uint8_t *out, int size);
// As decompress_mini, returning the same, and fills report when it is not null.
int decompress_mini_ex(const uint8_t *block, int block_len, uint8_t *out, int size,
                       code_decode_report *report);
