/*
** Script VM: the console's 16.16 fixed-point arithmetic.
** Everything that can wrap is done on uint32_t / int64_t so that no
** signed overflow or out-of-range shift is ever evaluated.
*/
#include "vm/zmath.h"

#include <charconv>
#include <cstring>

#include "engine/vmath.h"
#include "vm/llimits.h"

/* cycles charged (through spend_cpu) for a root, a power and a seeding */
static constexpr int Z6_LOOP_CHARGE = 8;

static inline int32_t wrap32(uint32_t u) { return static_cast<int32_t>(u); }

int32_t z6_fdiv_0_1_12(int32_t a, int32_t b) {
    if (b == 0) return z6_fdiv_byzero(a);
    return z6_fdiv_general(a, b);
}

int zxc0 = 0;
int zxc3 = 0;

int32_t z6_fdiv_experimental(int32_t a, int32_t b) {
    if (b == 0) return z6_fdiv_byzero(a);
    if ((b & 0xffff) == 0 && b >= 0x10000) {
        zxc0++;
        return a / (b >> 16);
    }
    zxc3++;
    return z6_fdiv_general(a, b);
}

int32_t z6_fsqrt(int32_t a) {
    if (a < 0) return 0;
    uint64_t v = static_cast<uint64_t>(a) << 16;
    uint64_t root = 0;
    uint64_t bit = 1ull << 62;
    while (bit > v) bit >>= 2;
    while (bit != 0) {
        if (v >= root + bit) {
            v -= root + bit;
            root = (root >> 1) + bit;
        } else
            root >>= 1;
        bit >>= 2;
    }
    zibo6_vm.spend_cpu(Z6_LOOP_CHARGE);
    return static_cast<int32_t>(root);
}

/* 1/a as used by negative exponents */
static int32_t freciprocal(int32_t a) {
    if (a == 0) return 0x7fffffff;
    if (a > 0 && (a & 0xffff) == 0) return 65536 / (a >> 16);
    int64_t q = (int64_t(1) << 32) / a;
    if (q < -0x7fffffff) return wrap32(0x80000001u);
    if (q > 0x7fffffff) return 0x7fffffff;
    return static_cast<int32_t>(q);
}

/*
** a ^ b: square-and-multiply over the integer bits of b, then one chain of
** square roots over its fraction bits.  The loop runs even for a negative
** base (the first root gives 0, later roots of 0 still charge) so that the
** cycle count depends only on the exponent; the result is then 0.
*/
int32_t z6_fpow(int32_t a, int32_t b) {
    if (b == 0) return 0x10000;
    if (b < 0) {
        a = freciprocal(a);
        b = wrap32(0u - static_cast<uint32_t>(b)); /* -32768 stays -32768: result 1.0 */
    }
    int32_t result = 0x10000;
    int32_t base = a;
    int32_t ip = wrap32(static_cast<uint32_t>(b) & 0xffff0000u);
    while (ip > 0xffff) {
        if (ip & 0x10000) result = z6_fmul(result, base);
        base = z6_fmul(base, base);
        ip >>= 1;
    }
    int32_t f = b & 0xffff;
    int32_t x = a;
    while (f != 0) {
        do {
            f <<= 1;
            x = z6_fsqrt(x);
        } while (f < 0x10000);
        result = z6_fmul(result, x);
        f -= 0x10000;
    }
    if (a < 0 && (b & 0xffff) != 0) result = 0;
    zibo6_vm.spend_cpu(Z6_LOOP_CHARGE);
    return result;
}

int32_t z6_fpow_0110(int32_t a, int32_t b) {
    int32_t n = b >> 16;
    if (n == 0) return 0x10000;
    if (n < 0) return 0;
    if (n > 256) n = 256;
    int32_t result = a;
    for (int32_t i = 1; i < n; i++) result = z6_fmul(result, a);
    zibo6_vm.spend_cpu(2 * n - 2);
    return result;
}

/* square root by the Bakhshali approximation; below 1.0 through 1/a */
int32_t fsqrt_Bakhsali(int32_t a) {
    if (a <= 0) return 0;
    int invert = a < 0x10000;
    int32_t v = invert ? freciprocal(a) : a;
    /* starting guess: a power of two at most 128, whose square still fits
     (a guess of 256 would square to 0 and the iteration would run off) */
    int32_t x = 0x10000;
    while (z6_fmul(x, x) < v && x < 0x800000) x <<= 1;
    for (int i = 0; i < 4; i++) {
        int32_t d =
            z6_fdiv(wrap32(static_cast<uint32_t>(v) - static_cast<uint32_t>(z6_fmul(x, x))), 2 * x);
        int32_t xa = wrap32(static_cast<uint32_t>(x) + static_cast<uint32_t>(d));
        if (xa == 0) break;
        x = wrap32(static_cast<uint32_t>(xa) -
                   static_cast<uint32_t>(z6_fdiv(z6_fmul(d, d), 2 * xa)));
    }
    zibo6_vm.spend_cpu(Z6_LOOP_CHARGE);
    return invert ? freciprocal(x) : x;
}

/*
** Shifts and rotations take the floored integer part of the count; counts
** outside -31..31 never reach a C shift.
*/
int32_t zibo6_shl(int32_t v, int32_t n) {
    int32_t k = n >> 16;
    uint32_t u = static_cast<uint32_t>(v);
    if (k < -31 || k >= 32) return 0;
    return wrap32(k < 0 ? u >> -k : u << k);
}

int32_t zibo6_lshr(int32_t v, int32_t n) {
    int32_t k = n >> 16;
    uint32_t u = static_cast<uint32_t>(v);
    if (k < -31 || k >= 32) return 0;
    return wrap32(k < 0 ? u << -k : u >> k);
}

int32_t zibo6_ashr(int32_t v, int32_t n) {
    int32_t k = n >> 16;
    if (k < -31) return 0;
    if (k >= 32) return v < 0 ? -1 : 0;
    if (k < 0) return wrap32(static_cast<uint32_t>(v) << -k);
    return v >> k;
}

static inline uint32_t rotl32(uint32_t u, int r) {
    r &= 31;
    return r == 0 ? u : (u << r) | (u >> (32 - r));
}

int32_t zibo6_rotl(int32_t v, int32_t n) {
    return wrap32(rotl32(static_cast<uint32_t>(v), (n >> 16) & 31));
}

int32_t zibo6_rotr(int32_t v, int32_t n) {
    return wrap32(rotl32(static_cast<uint32_t>(v), (32 - ((n >> 16) & 31)) & 31));
}

int32_t fatan2(int32_t dx, int32_t dy) { return ftan2(dx, dy); }

/*
** The console's random generator: two words, one add-rotate step.
*/
uint32_t z6_m_high = 0xdeadbeefu;
uint32_t z6_m_low = 0x01234567u;

static inline void rand_step(void) {
    z6_m_high = rotl32(z6_m_high, 16) + z6_m_low;
    z6_m_low = z6_m_low + z6_m_high;
}

void zibo6_srand(int32_t seed) {
    uint32_t s = static_cast<uint32_t>(seed);
    if (s != 0) {
        z6_m_high = s ^ 0xbead29bau;
        z6_m_low = s;
    } else {
        z6_m_high = 0x60009755u;
        z6_m_low = 0xdeadbeefu;
    }
    for (int i = 0; i < 32; i++) rand_step();
    zibo6_vm.spend_cpu(Z6_LOOP_CHARGE);
}

uint32_t zibo6_random(uint32_t n) {
    if (n == 0) return 0;
    rand_step();
    return z6_m_high % n;
}

uint32_t zibo6_rand(void) {
    rand_step();
    return z6_m_high;
}

uint32_t get_rand_seed(int i) {
    if (i == 0) return z6_m_high;
    if (i == 1) return z6_m_low;
    return 0;
}

void set_rand_seed(int i, uint32_t word) {
    if (i == 0)
        z6_m_high = word;
    else if (i == 1)
        z6_m_low = word;
}

/*
** Text form: five decimals first; a run of nines or zeros right after the
** point means the value sits at a rounding edge, so three decimals are
** used, otherwise four.  Trailing zeros and a bare point go.  Conversion
** goes through std::to_chars, which ignores the C locale.
*/
static int print_fixed(char *out, size_t size, double d, int decimals) {
    auto r = std::to_chars(out, out + size - 1, d, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) {
        out[0] = '0';
        out[1] = '\0';
        return 1;
    }
    *r.ptr = '\0';
    return static_cast<int>(r.ptr - out);
}

int zibo6_fixed_to_string(char *buffer, int32_t x) {
    if ((x & 0xffff) == 0) { /* a whole number prints as its integer part */
        auto r = std::to_chars(buffer, buffer + 31, x >> 16);
        *r.ptr = '\0';
        return static_cast<int>(r.ptr - buffer);
    }
    char text[32];
    double d = static_cast<double>(x) / 65536.0;
    print_fixed(text, sizeof(text), d, 5);
    int decimals = (std::strstr(text, ".9999") || std::strstr(text, ".0000")) ? 3 : 4;
    int len = print_fixed(text, sizeof(text), d, decimals);
    while (len > 0 && text[len - 1] == '0') len--;
    if (len > 0 && text[len - 1] == '.') len--;
    text[len] = '\0';
    std::memcpy(buffer, text, static_cast<size_t>(len) + 1);
    return len;
}
