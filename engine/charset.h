// Console character set: one byte per character, converted to and from UTF-8
// wherever text leaves or enters the program (cart files, clipboard, log output).
#pragma once
#include <array>
#include <cstdint>

// One console byte becomes at most this many UTF-8 bytes (142 and its
// variation selector). An output buffer for n console bytes needs
// CHARSET_MAX_UTF8 * n + 1 bytes; pass null to have one allocated.
constexpr int CHARSET_MAX_UTF8 = 7;

// UTF-8 of the superscripts 0-15, packed most significant byte first.
extern const std::array<uint32_t, 16> unicode_superscript;
// 70 glyphs, zero-padded UTF-8: codes 128-153, 16-31, 254, 255, then 'A'-'Z'.
using glyph_table = std::array<std::array<uint8_t, CHARSET_MAX_UTF8>, 70>;
extern const glyph_table unicode_glyph;
// Last two bytes (after 0xE3) of the kana for codes 154-203 and 204-253.
using kana_table = std::array<std::array<uint8_t, 2>, 50>;
extern const kana_table unicode_hiragana;
extern const kana_table unicode_katakana;

// Console text to UTF-8. With keep_capitals 0, 'A'-'Z' become the italic
// small letters U+1D622-U+1D63B. A null out allocates 7 * length + 1 bytes
// with the engine allocator (null when that cannot be had).
char *convert_glyphs_to_escaped_ex(const char *text, char *out, int keep_capitals);
char *convert_glyphs_to_escaped(const char *text, char *out); // capitals kept

// UTF-8 to console text; the output is never longer than the input, and a
// null out allocates length + 1 bytes. Carriage returns are dropped; bytes
// that match no glyph are copied as they are.
char *convert_escaped_to_glyphs(const char *text, char *out);
