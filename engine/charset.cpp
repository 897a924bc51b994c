// Console character set <-> UTF-8.
//
// The tables are written as code points and encoded at compile time, so the
// source reads like the character chart and the byte forms cannot drift.
#include "engine/charset.h"
#include "engine/mem.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

struct utf8_seq {
    uint8_t b[8] = {};
    int n = 0;
};

constexpr utf8_seq utf8_encode(std::initializer_list<uint32_t> cps) {
    utf8_seq s;
    for (uint32_t cp : cps) {
        if (cp < 0x80) {
            s.b[s.n++] = (uint8_t)cp;
        } else if (cp < 0x800) {
            s.b[s.n++] = (uint8_t)(0xC0 | (cp >> 6));
            s.b[s.n++] = (uint8_t)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s.b[s.n++] = (uint8_t)(0xE0 | (cp >> 12));
            s.b[s.n++] = (uint8_t)(0x80 | ((cp >> 6) & 0x3F));
            s.b[s.n++] = (uint8_t)(0x80 | (cp & 0x3F));
        } else {
            s.b[s.n++] = (uint8_t)(0xF0 | (cp >> 18));
            s.b[s.n++] = (uint8_t)(0x80 | ((cp >> 12) & 0x3F));
            s.b[s.n++] = (uint8_t)(0x80 | ((cp >> 6) & 0x3F));
            s.b[s.n++] = (uint8_t)(0x80 | (cp & 0x3F));
        }
    }
    return s;
}

constexpr uint32_t VS16 = 0xFE0F; // emoji presentation selector

// Glyph entries in table order; a second code point is the variation selector.
constexpr std::array<std::array<uint32_t, 2>, 70> glyph_cps = {{
    // codes 128-153
    {0x2588, 0},
    {0x2592, 0},
    {0x1F431, 0},
    {0x2B07, VS16},
    {0x2591, 0},
    {0x273D, 0},
    {0x25CF, 0},
    {0x2665, 0},
    {0x2609, 0},
    {0xC6C3, 0},
    {0x2302, 0},
    {0x2B05, VS16},
    {0x1F610, 0},
    {0x266A, 0},
    {0x1F17E, VS16},
    {0x25C6, 0},
    {0x2026, 0},
    {0x27A1, VS16},
    {0x2605, 0},
    {0x29D7, 0},
    {0x2B06, VS16},
    {0x02C7, 0},
    {0x2227, 0},
    {0x274E, 0},
    {0x25A4, 0},
    {0x25A5, 0},
    // codes 16-31
    {0x25AE, 0},
    {0x25A0, 0},
    {0x25A1, 0},
    {0x2059, 0},
    {0x2058, 0},
    {0x2016, 0},
    {0x25C0, 0},
    {0x25B6, 0},
    {0x300C, 0},
    {0x300D, 0},
    {0x00A5, 0},
    {0x2022, 0},
    {0x3001, 0},
    {0x3002, 0},
    {0x309B, 0},
    {0x309C, 0},
    // codes 254, 255
    {0x25DC, 0},
    {0x25DD, 0},
    // 'A'-'Z' as mathematical sans-serif italic small letters
    {0x1D622, 0},
    {0x1D623, 0},
    {0x1D624, 0},
    {0x1D625, 0},
    {0x1D626, 0},
    {0x1D627, 0},
    {0x1D628, 0},
    {0x1D629, 0},
    {0x1D62A, 0},
    {0x1D62B, 0},
    {0x1D62C, 0},
    {0x1D62D, 0},
    {0x1D62E, 0},
    {0x1D62F, 0},
    {0x1D630, 0},
    {0x1D631, 0},
    {0x1D632, 0},
    {0x1D633, 0},
    {0x1D634, 0},
    {0x1D635, 0},
    {0x1D636, 0},
    {0x1D637, 0},
    {0x1D638, 0},
    {0x1D639, 0},
    {0x1D63A, 0},
    {0x1D63B, 0},
}};

constexpr std::array<uint32_t, 16> superscript_cps = {
    0x2070, 0x00B9, 0x00B2, 0x00B3, 0x2074, 0x2075, 0x2076, 0x2077,
    0x2078, 0x2079, 0x1D43, 0x1D47, 0x1D9C, 0x1D48, 0x1D49, 0x1DA0,
};

// あ..ん then the small っゃゅょ; katakana in the same order.
constexpr std::array<uint32_t, 50> hiragana_cps = {
    0x3042, 0x3044, 0x3046, 0x3048, 0x304A, 0x304B, 0x304D, 0x304F, 0x3051, 0x3053,
    0x3055, 0x3057, 0x3059, 0x305B, 0x305D, 0x305F, 0x3061, 0x3064, 0x3066, 0x3068,
    0x306A, 0x306B, 0x306C, 0x306D, 0x306E, 0x306F, 0x3072, 0x3075, 0x3078, 0x307B,
    0x307E, 0x307F, 0x3080, 0x3081, 0x3082, 0x3084, 0x3086, 0x3088, 0x3089, 0x308A,
    0x308B, 0x308C, 0x308D, 0x308F, 0x3092, 0x3093, 0x3063, 0x3083, 0x3085, 0x3087,
};
constexpr std::array<uint32_t, 50> katakana_cps = {
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8,
    0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB,
    0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA,
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F2, 0x30F3, 0x30C3, 0x30E3, 0x30E5, 0x30E7,
};

constexpr auto build_glyphs() {
    glyph_table t{};
    for (size_t i = 0; i < t.size(); i++) {
        utf8_seq s = glyph_cps[i][1] ? utf8_encode({glyph_cps[i][0], glyph_cps[i][1]})
                                     : utf8_encode({glyph_cps[i][0]});
        for (int k = 0; k < s.n; k++) t[i][k] = s.b[k];
    }
    return t;
}

constexpr auto build_superscripts() {
    std::array<uint32_t, 16> t{};
    for (size_t i = 0; i < t.size(); i++) {
        utf8_seq s = utf8_encode({superscript_cps[i]});
        for (int k = 0; k < s.n; k++) t[i] = (t[i] << 8) | s.b[k];
    }
    return t;
}

constexpr auto build_kana(const std::array<uint32_t, 50> &cps) {
    kana_table t{};
    for (size_t i = 0; i < t.size(); i++) {
        utf8_seq s = utf8_encode({cps[i]});
        t[i][0] = s.b[1];
        t[i][1] = s.b[2];
    }
    return t;
}

constexpr glyph_table glyphs_c = build_glyphs();
constexpr std::array<uint32_t, 16> supers_c = build_superscripts();

// Every kana must start with 0xE3 for the kana rule to find it.
constexpr bool kana_in_e3_block(const std::array<uint32_t, 50> &cps) {
    for (uint32_t cp : cps)
        if (utf8_encode({cp}).b[0] != 0xE3) return false;
    return true;
}
static_assert(kana_in_e3_block(hiragana_cps) && kana_in_e3_block(katakana_cps));
// 142 with its selector is the widest glyph and fills an entry exactly.
static_assert(glyphs_c[14][6] != 0 && glyphs_c[14][0] == 0xF0);
static_assert(supers_c[1] == 0xC2B9 && supers_c[4] == 0xE281B4);

// Bytes of a packed superscript: 2 for entries 1-3, 3 for the others.
constexpr int superscript_len(int i) { return (i >= 1 && i <= 3) ? 2 : 3; }

// Glyph entry of a console byte, or -1 when it has none.
constexpr int glyph_entry_for(unsigned c) {
    if (c >= 16 && c <= 31) return (int)c + 10;
    if (c >= 128 && c <= 153) return (int)c - 128;
    if (c == 254 || c == 255) return (int)c - 212;
    return -1;
}

// Console byte of a glyph entry.
constexpr unsigned code_for_glyph_entry(int e) {
    if (e < 26) return 128 + e;
    if (e < 42) return e - 10;
    if (e < 44) return 254 + (e - 42);
    return 'A' + (e - 44);
}

} // namespace

extern constinit const std::array<uint32_t, 16> unicode_superscript = build_superscripts();
extern constinit const glyph_table unicode_glyph = build_glyphs();
extern constinit const kana_table unicode_hiragana = build_kana(hiragana_cps);
extern constinit const kana_table unicode_katakana = build_kana(katakana_cps);

/*
** Console text to UTF-8. Every console byte has exactly one form; the
** output is terminated as it goes, so it is a valid text at every step.
*/
char *convert_glyphs_to_escaped_ex(const char *text, char *out, int keep_capitals) {
    if (!text) text = "";
    if (!out) {
        int n;
        if (!vull_checked_size((int64_t)strlen(text), CHARSET_MAX_UTF8, 1, &n)) return nullptr;
        out = (char *)vull_malloc(n);
        if (!out) return nullptr;
    }
    char *o = out;
    for (const uint8_t *p = (const uint8_t *)text; *p; p++) {
        unsigned c = *p;
        int e = glyph_entry_for(c);
        if (!keep_capitals && c >= 'A' && c <= 'Z') e = 44 + (int)(c - 'A');
        if (e >= 0) {
            for (int k = 0; k < CHARSET_MAX_UTF8 && unicode_glyph[e][k]; k++)
                *o++ = (char)unicode_glyph[e][k];
        } else if (c < 16 && c != 9 && c != 10 && c != 13) {
            int n = superscript_len((int)c);
            for (int k = n - 1; k >= 0; k--)
                *o++ = (char)((unicode_superscript[c] >> (8 * k)) & 0xFF);
        } else if (c == 127) {
            *o++ = (char)0xE2;
            *o++ = (char)0x97;
            *o++ = (char)0x8B;
        } else if (c >= 154 && c <= 203) {
            *o++ = (char)0xE3;
            *o++ = (char)unicode_hiragana[c - 154][0];
            *o++ = (char)unicode_hiragana[c - 154][1];
        } else if (c >= 204 && c <= 253) {
            *o++ = (char)0xE3;
            *o++ = (char)unicode_katakana[c - 204][0];
            *o++ = (char)unicode_katakana[c - 204][1];
        } else {
            *o++ = (char)c;
        }
    }
    *o = 0;
    return out;
}

char *convert_glyphs_to_escaped(const char *text, char *out) {
    return convert_glyphs_to_escaped_ex(text, out, 1);
}

/*
** Matching compares byte by byte and stops at the first difference, so a
** terminating zero in the input (never part of an entry) ends every match
** before anything beyond it is read.
*/
static int match_bytes(const uint8_t *in, const uint8_t *want, int n) {
    for (int k = 0; k < n; k++)
        if (!want[k] || in[k] != want[k]) return want[k] ? 0 : k;
    return n;
}

char *convert_escaped_to_glyphs(const char *text, char *out) {
    if (!text) text = "";
    size_t len = strlen(text);
    if (!out) {
        int n;
        if (!vull_checked_size((int64_t)len, 1, 1, &n)) return nullptr;
        out = (char *)vull_malloc(n);
        if (!out) return nullptr;
    }
    const uint8_t *p = (const uint8_t *)text;
    char *o = out;
    while (*p) {
        unsigned c = *p;
        if (c < 128) {
            if (c != 13) *o++ = (char)c;
            p++;
            continue;
        }
        int got = 0;
        for (int e = 0; e < 70 && !got; e++) {
            int n = match_bytes(p, unicode_glyph[e].data(), CHARSET_MAX_UTF8);
            if (n) {
                *o++ = (char)code_for_glyph_entry(e);
                p += n;
                got = 1;
            }
        }
        if (got) continue;
        if (c == 0xE3 && p[1]) {
            for (int i = 0; i < 50 && !got; i++) {
                if (p[1] == unicode_hiragana[i][0] && p[2] == unicode_hiragana[i][1]) {
                    *o++ = (char)(154 + i);
                    got = 1;
                } else if (p[1] == unicode_katakana[i][0] && p[2] == unicode_katakana[i][1]) {
                    *o++ = (char)(204 + i);
                    got = 1;
                }
            }
            if (got) {
                p += 3;
                continue;
            }
        }
        if (c == 0xE2 && p[1] == 0x97 && p[2] == 0x8B) {
            *o++ = (char)127;
            p += 3;
            continue;
        }
        for (int i = 1; i < 16 && !got; i++) {
            if (i == 9 || i == 10 || i == 13) continue;
            int n = superscript_len(i);
            uint8_t want[4] = {};
            for (int k = 0; k < n; k++)
                want[k] = (uint8_t)(unicode_superscript[i] >> (8 * (n - 1 - k)));
            if (match_bytes(p, want, n) == n) {
                *o++ = (char)i;
                p += n;
                got = 1;
            }
        }
        if (got) continue;
        *o++ = (char)c;
        p++;
    }
    *o = 0;
    return out;
}
