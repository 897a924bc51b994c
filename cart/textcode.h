// Plain-text forms that carry carts, sounds and pictures through a clipboard or
// a forum post ("[cart]", "[sfx]", "[gfx]" codes), and an RFC 4648 base64 codec.
#pragma once
#include <cstdint>

struct zibo6_cart;
struct vull_bitmap;

constexpr int BBS_CODE_SIZE = 65536;        // an output buffer the writers fill (with its NUL)
constexpr int HEX_CART_INPUT_MAX = 1048576; // file bytes the cart code carries at most

// Cart code of a whole file: 0 done, 1 the input does not open, 2 the output does not.
int convert_binary_file_to_hex(const char *in_path, const char *out_path);
// Writes the bytes of a cart code (after its "[cart]") to path: 1 when it does not open, else 0.
int convert_hex_to_binary_file(const char *text, const char *path);

// Writers: with out (BBS_CODE_SIZE bytes) the code goes there, else to the clipboard
// (the pre-emptive form when preemptive is set). Characters written, -1 when refused.
int convert_sfxes_to_bbs_code(const zibo6_cart *cart, int count, char *out, int preemptive);
int convert_patterns_to_bbs_code(const zibo6_cart *cart, int count, char *out, int preemptive);
int convert_bmp_to_bbs_code(const vull_bitmap *bmp, char *out, int preemptive);

// Readers: a new cart or 8-bit bitmap, or null when the text holds no code.
zibo6_cart *convert_bbs_code_to_song(const char *text);
vull_bitmap *convert_bbs_code_to_bmp(const char *text);

// Base64, standard alphabet, '=' padding, no line breaks. Both sides keep their
// state across blocks, so a stream may be fed in pieces.
struct base64_encodestate {
    int step;        // input bytes held back: 0, 1 or 2
    uint8_t pending; // bits of the next output character gathered so far
};
struct base64_decodestate {
    int step;        // characters of the current quartet seen: 0-3
    uint8_t pending; // bits of the next output byte gathered so far
};
void base64_init_encodestate(base64_encodestate *state);
char base64_encode_value(int value); // values above 63 (and below 0) give '='
int base64_encode_block(const uint8_t *in, int length, char *out, base64_encodestate *state);
int base64_encode_blockend(char *out, base64_encodestate *state);
void base64_init_decodestate(base64_decodestate *state);
int base64_decode_value(int c); // 0-63, or -1 outside the alphabet
// out needs length * 3 / 4 + 1 bytes; characters outside the alphabet are skipped.
int base64_decode_block(const char *in, int length, uint8_t *out, base64_decodestate *state);
