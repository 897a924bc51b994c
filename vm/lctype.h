/*
** Character classes of the lexer and the number reader, independent of the
** C locale: a 257-entry table indexed by character + 1 (so EOZ is index 0).
*/
#ifndef Z6_LCTYPE_H
#define Z6_LCTYPE_H

#include <array>
#include <climits>

#include "vm/llimits.h"

#define ALPHABIT  0 /* may start a name */
#define DIGITBIT  1
#define PRINTBIT  2
#define SPACEBIT  3
#define XDIGITBIT 4

#define MASK(B) (1 << (B))

extern const std::array<lu_byte, UCHAR_MAX + 2> luai_ctype_;

#define testprop(c, p) (luai_ctype_[(c) + 1] & (p))

/* Names: ASCII letters, '_', bytes 128-255 and the bytes 30 and 31. */
#define lislalpha(c) testprop(c, MASK(ALPHABIT))
#define lislalnum(c) testprop(c, (MASK(ALPHABIT) | MASK(DIGITBIT)))
#define lisdigit(c)  testprop(c, MASK(DIGITBIT))
#define lisspace(c)  testprop(c, MASK(SPACEBIT))
#define lisprint(c)  testprop(c, MASK(PRINTBIT))
#define lisxdigit(c) testprop(c, MASK(XDIGITBIT))

/* sets the ASCII case bit: right for letters, garbage for anything else */
#define ltolower(c) ((c) | ('A' ^ 'a'))

#endif
