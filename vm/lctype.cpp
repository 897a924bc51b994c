/*
** Character class table, built at compile time so it never depends on the
** C library's locale.
*/
#include "vm/lctype.h"

#include <array>

namespace {

constexpr lu_byte classify(int c) {
    lu_byte p = 0;
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    /* bytes above 127 and the two glyph bytes 30 and 31 are name characters */
    if (letter || c == '_' || c >= 128 || c == 30 || c == 31) p |= MASK(ALPHABIT);
    if (c >= '0' && c <= '9') p |= MASK(DIGITBIT) | MASK(XDIGITBIT);
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) p |= MASK(XDIGITBIT);
    if (c == ' ' || (c >= '\t' && c <= '\r')) p |= MASK(SPACEBIT);
    if (c >= 32 && c < 127) p |= MASK(PRINTBIT);
    return p;
}

constexpr std::array<lu_byte, UCHAR_MAX + 2> make_table() {
    std::array<lu_byte, UCHAR_MAX + 2> t{};
    t[0] = 0; /* EOZ */
    for (int c = 0; c <= UCHAR_MAX; c++) t[c + 1] = classify(c);
    return t;
}

} // namespace

const std::array<lu_byte, UCHAR_MAX + 2> luai_ctype_ = make_table();
