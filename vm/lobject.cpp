/*
** Script VM: generic functions over values: the operator dispatcher,
** text to number, the message formatter, chunk ids and size encodings.
*/
#include "vm/lobject.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/lvm.h"

LUAI_DDEF const TValue luaO_nilobject_ = {NILCONSTANT};

/*
** Table size hints in NEWTABLE fit one byte: values under 8 are exact; from
** there on the byte holds a 5-bit exponent over a 3-bit mantissa with an
** implied leading one, rounded up so the table is never too small.
*/
int luaO_int2fb(unsigned int x) {
    int e = 0;
    if (x < 8) return cast_int(x);
    while (x >= 0x10) {
        x = (x + 1) >> 1;
        e++;
    }
    return ((e + 1) << 3) | (cast_int(x) - 8);
}

/* converts back; sizes too large for an int are clamped (the allocation
   then fails cleanly instead of overflowing) */
int luaO_fb2int(int x) {
    int e = (x >> 3) & 0x1f;
    if (e == 0) return x;
    uint64_t v = static_cast<uint64_t>((x & 7) + 8) << (e - 1);
    return v > static_cast<uint64_t>(MAX_INT) ? MAX_INT : static_cast<int>(v);
}

/* ceil(log2(x)) for x >= 1, by a table of floor(log2) for 0..255 */
static constexpr std::array<lu_byte, 256> make_log2_table() {
    std::array<lu_byte, 256> t{};
    for (int i = 2; i < 256; i++) t[i] = static_cast<lu_byte>(t[i / 2] + 1);
    return t;
}
static constexpr std::array<lu_byte, 256> log_2 = make_log2_table();

int luaO_ceillog2(unsigned int x) {
    int l = 0;
    x--;
    while (x >= 256) {
        l += 8;
        x >>= 8;
    }
    return l + (x == 0 ? 0 : log_2[x] + 1);
}

lua_Number luaO_arith(int op, lua_Number v1, lua_Number v2) {
    uint32_t a = static_cast<uint32_t>(v1), b = static_cast<uint32_t>(v2);
    switch (op) {
    case LUA_OPADD: return static_cast<lua_Number>(a + b);
    case LUA_OPSUB: return static_cast<lua_Number>(a - b);
    case LUA_OPMUL: return z6_fmul(v1, v2);
    case LUA_OPDIV: return z6_fdiv(v1, v2);
    case LUA_OPMOD: return z6_fmod(v1, v2);
    case LUA_OPPOW: return z6_fpow(v1, v2);
    case LUA_OPBAND: return static_cast<lua_Number>(a & b);
    case LUA_OPBOR: return static_cast<lua_Number>(a | b);
    case LUA_OPBXOR: return static_cast<lua_Number>(a ^ b);
    case LUA_OPSHL: return zibo6_shl(v1, v2);
    case LUA_OPSHR: return zibo6_ashr(v1, v2);
    case LUA_OPLSHR: return zibo6_lshr(v1, v2);
    case LUA_OPROTL: return zibo6_rotl(v1, v2);
    case LUA_OPROTR: return zibo6_rotr(v1, v2);
    case LUA_OPBNOT: return static_cast<lua_Number>(~a);
    case LUA_OPIDIV: return luai_numidiv(L, v1, v2);
    case LUA_OPPEEK: return zibo6_vm.zibo6_peek_1(v1);
    case LUA_OPPEEK2: return zibo6_vm.zibo6_peek_2(v1);
    case LUA_OPPEEK4: return zibo6_vm.zibo6_peek_4(v1);
    case LUA_OPUNM: return static_cast<lua_Number>(0u - a);
    default: return 0;
    }
}

/* character classes of the C locale, whatever locale is set */
static inline bool isspace_c(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static inline bool isdigit_c(int c) { return c >= '0' && c <= '9'; }
static inline bool isxdigit_c(int c) {
    return isdigit_c(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int luaO_hexavalue(int c) {
    if (isdigit_c(c)) return c - '0';
    return ((c | ('A' ^ 'a')) - 'a') + 10;
}

static inline bool contains(const char *s, size_t len, char a, char b) {
    for (size_t i = 0; i < len; i++)
        if (s[i] == a || s[i] == b) return true;
    return false;
}

/*
** Hexadecimal (base 16, 4 fraction digits) or binary (base 2, 16
** fraction digits) numerals: [space] [sign] 0x|0b digits [. digits].
** Integer digits wrap in 32 bits (only the low 16 survive the shift);
** fraction digits beyond the kept ones are read and ignored.  Returns the
** position after the numeral, or null when it is malformed.
*/
static const char *read_radix(const char *s, const char *end, int log2base, lua_Number *result) {
    const int base = 1 << log2base;
    const int keep = 16 / log2base; /* fraction digits that fit 16 bits */
    const char marks[2] = {log2base == 4 ? 'x' : 'b', log2base == 4 ? 'X' : 'B'};
    bool neg = false;
    while (s < end && isspace_c(*s)) s++;
    if (s < end && (*s == '-' || *s == '+')) neg = (*s++ == '-');
    if (end - s < 2 || s[0] != '0' || (s[1] != marks[0] && s[1] != marks[1])) return nullptr;
    s += 2;
    auto digit = [&](char c) -> int {
        if (log2base == 4) return isxdigit_c(c) ? luaO_hexavalue(c) : -1;
        return (c == '0' || c == '1') ? c - '0' : -1;
    };
    uint32_t ip = 0, fp = 0;
    int ndigits = 0, nfrac = 0;
    for (; s < end && digit(*s) >= 0; s++, ndigits++)
        ip = ip * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit(*s));
    if (s < end && *s == '.') {
        s++;
        for (; s < end && digit(*s) >= 0; s++, ndigits++) {
            if (nfrac < keep) {
                fp = fp * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit(*s));
                nfrac++;
            }
        }
        fp <<= (keep - nfrac) * log2base; /* short fraction fills 16 bits */
    }
    if (ndigits == 0) return nullptr;
    if (s < end && (*s == 'p' || *s == 'P')) return nullptr; /* no exponents */
    uint32_t v = (ip << 16) + fp;
    *result = static_cast<lua_Number>(neg ? 0u - v : v);
    return s;
}

/*
** Decimal numerals through std::from_chars (locale-independent; strtod
** would follow LC_NUMERIC).  The value times 65536 is truncated and its
** low 32 bits kept; fmod keeps that exact for any finite magnitude, and
** an out-of-range text (1e400) gives 0.
*/
static const char *read_decimal(const char *s, const char *end, lua_Number *result) {
    while (s < end && isspace_c(*s)) s++;
    if (s < end && *s == '+') {
        s++;
        if (s < end && *s == '-') return nullptr; /* "+-1" */
    }
    double d = 0;
    auto r = std::from_chars(s, end, d, std::chars_format::general);
    if (r.ptr == s) return nullptr;
    if (r.ec == std::errc::result_out_of_range) d = 0; /* inf, or underflow to 0 */
    double t = std::fmod(std::trunc(d * 65536.0), 4294967296.0);
    if (!std::isfinite(t)) t = 0;
    if (t < 0) t += 4294967296.0;
    *result = static_cast<lua_Number>(static_cast<uint32_t>(static_cast<uint64_t>(t)));
    return r.ptr;
}

int luaO_str2d(const char *s, size_t len, lua_Number *result) {
    const char *end = s + len;
    const char *e;
    lua_Number v = 0;
    /* no numeral has an 'n': this keeps "inf" and "nan" out of from_chars */
    if (contains(s, len, 'n', 'N')) return 0;
    if (contains(s, len, 'x', 'X'))
        e = read_radix(s, end, 4, &v);
    else if (contains(s, len, 'b', 'B'))
        e = read_radix(s, end, 1, &v);
    else
        e = read_decimal(s, end, &v);
    if (e == nullptr) return 0;
    while (e < end && isspace_c(*e)) e++;
    if (e != end) return 0;
    *result = v;
    return 1;
}

static void pushstr(lua_State *L, const char *str, size_t l) {
    setsvalue2s(L, L->top++, luaS_newlstr(L, str, l));
}

/*
** The pieces (text between directives and each value) go on the stack and
** are joined at the end.  "%d" and "%f" take a 16.16 lua_Number.
*/
const char *luaO_pushvfstring(lua_State *L, const char *fmt, va_list argp) {
    int n = 0;
    for (;;) {
        const char *e = std::strchr(fmt, '%');
        if (e == NULL) break;
        luaD_checkstack(L, 2); /* the text before the directive, and the item */
        pushstr(L, fmt, cast(size_t, e - fmt));
        switch (*(e + 1)) {
        case 's': {
            const char *s = va_arg(argp, char *);
            if (s == NULL) s = "(null)";
            pushstr(L, s, std::strlen(s));
            break;
        }
        case 'c': {
            char buff = cast(char, va_arg(argp, int));
            pushstr(L, &buff, 1);
            break;
        }
        case 'd':
        case 'f': {
            setnvalue(L->top++, cast_num(va_arg(argp, l_uacNumber)));
            break;
        }
        case 'p': {
            char buff[4 * sizeof(void *) + 8];
            int l = std::snprintf(
                buff, sizeof(buff), "0x%x",
                static_cast<unsigned int>(reinterpret_cast<uintptr_t>(va_arg(argp, void *))));
            pushstr(L, buff, static_cast<size_t>(l));
            break;
        }
        case '%': {
            pushstr(L, "%", 1);
            break;
        }
        default: {
            luaG_runerror(L, "invalid option '%%%c' to 'lua_pushfstring'", *(e + 1));
        }
        }
        n += 2;
        fmt = e + 2;
    }
    luaD_checkstack(L, 1);
    pushstr(L, fmt, std::strlen(fmt));
    if (n > 0) luaV_concat(L, n + 1);
    return svalue(L->top - 1);
}

const char *luaO_pushfstring(lua_State *L, const char *fmt, ...) {
    const char *msg;
    va_list argp;
    va_start(argp, fmt);
    msg = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return msg;
}

/*
** Source names for messages: "=name" literally, "@file" with its end
** kept, anything else as [string "first line..."]; at most bufflen bytes
** including the terminating zero.
*/
static constexpr char ellipsis[] = "...";
static constexpr char strpre[] = "[string \"";
static constexpr char strpost[] = "\"]";

template <size_t N> static constexpr size_t lenof(const char (&)[N]) { return N - 1; }

void luaO_chunkid(char *out, const char *source, size_t bufflen) {
    size_t l = std::strlen(source);
    if (*source == '=') {
        if (l <= bufflen)
            std::memcpy(out, source + 1, l);
        else {
            std::memcpy(out, source + 1, bufflen - 1);
            out[bufflen - 1] = '\0';
        }
    } else if (*source == '@') {
        if (l <= bufflen)
            std::memcpy(out, source + 1, l);
        else {
            std::memcpy(out, ellipsis, lenof(ellipsis));
            bufflen -= lenof(ellipsis);
            std::memcpy(out + lenof(ellipsis), source + 1 + l - bufflen, bufflen);
        }
    } else {
        const char *nl = std::strchr(source, '\n');
        std::memcpy(out, strpre, lenof(strpre));
        out += lenof(strpre);
        /* what is left for the source text */
        bufflen -= lenof(strpre) + lenof(ellipsis) + lenof(strpost) + 1;
        if (l < bufflen && nl == NULL) {
            std::memcpy(out, source, l);
            out += l;
        } else {
            if (nl != NULL) l = cast(size_t, nl - source);
            if (l > bufflen) l = bufflen;
            std::memcpy(out, source, l);
            out += l;
            std::memcpy(out, ellipsis, lenof(ellipsis));
            out += lenof(ellipsis);
        }
        std::memcpy(out, strpost, lenof(strpost) + 1);
    }
}
