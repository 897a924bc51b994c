/*
** Script VM: the console's 16.16 fixed-point arithmetic, bit shifts and
** rotations, powers and roots, its random generator and the text form of
** numbers.  All functions take and return raw 32-bit values.
*/
#ifndef Z6_ZMATH_H
#define Z6_ZMATH_H

#include <cstddef>
#include <cstdint>

/* arithmetic: * wraps, / and ^ saturate, % is in [0, |b|); inline, since
   the interpreter's number fast paths call them on every operation */
inline int32_t z6_fmul(int32_t a, int32_t b) {
    int64_t p = static_cast<int64_t>(a) * b; /* |p| <= 2^62: no overflow */
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(p >> 16)));
}

/* the general division: (a * 65536) / b, saturated */
inline int32_t z6_fdiv_general(int32_t a, int32_t b) {
    int64_t q = (static_cast<int64_t>(a) * 65536) / b;
    if (q < -0x7fffffff) return static_cast<int32_t>(0x80000001u);
    if (q > 0x7fffffff) return 0x7fffffff;
    return static_cast<int32_t>(q);
}

inline int32_t z6_fdiv_byzero(int32_t a) {
    return a >= 0 ? 0x7fffffff : static_cast<int32_t>(0x80000001u);
}

inline int32_t z6_fdiv(int32_t a, int32_t b) {
    if (b == 0) return z6_fdiv_byzero(a);
    if ((b & 0xffff) == 0 && b >= 0x10000) /* whole divisor >= 1: no 64-bit work */
        return a / (b >> 16);
    return z6_fdiv_general(a, b);
}

inline int32_t z6_fmod(int32_t a, int32_t b) {
    if (b == 0) return a;
    uint32_t m = b < 0 ? 0u - static_cast<uint32_t>(b) : static_cast<uint32_t>(b);
    if (m == 0x80000000u) return a & 0x7fffffff;
    if (a >= 0) return static_cast<int32_t>(static_cast<uint32_t>(a) % m);
    uint32_t na = 0u - static_cast<uint32_t>(a); /* |a|, also for -32768 */
    return static_cast<int32_t>((m - na % m) % m);
}
int32_t z6_fpow(int32_t a, int32_t b); /* charges cycles */
int32_t z6_fsqrt(int32_t a);           /* charges cycles (not for a < 0) */

/* shifts and rotations by the integer part of the count n */
int32_t zibo6_shl(int32_t v, int32_t n);
int32_t zibo6_ashr(int32_t v, int32_t n);
int32_t zibo6_lshr(int32_t v, int32_t n);
int32_t zibo6_rotl(int32_t v, int32_t n);
int32_t zibo6_rotr(int32_t v, int32_t n);

/* two-argument arctangent in turns (the engine's ftan2, unchanged) */
int32_t fatan2(int32_t dx, int32_t dy);

/* the console's random generator (state mapped at 0x5f44..0x5f4b) */
extern uint32_t z6_m_high;         /* high word, initially 0xdeadbeef */
extern uint32_t z6_m_low;          /* low word, initially 0x01234567 */
void zibo6_srand(int32_t seed);    /* charges cycles */
uint32_t zibo6_random(uint32_t n); /* 0 for n = 0 (state unchanged) */
uint32_t zibo6_rand(void);         /* one step, the new high word */
uint32_t get_rand_seed(int i);
void set_rand_seed(int i, uint32_t word);

/* text form (buffer of at least 32 bytes); returns the length */
int zibo6_fixed_to_string(char *buffer, int32_t x);

/* variants nothing in the system relies on */
extern int zxc0; /* z6_fdiv_experimental calls through the whole-divisor path */
extern int zxc3; /* ... and through the general path */
int32_t z6_fdiv_0_1_12(int32_t a, int32_t b);
int32_t z6_fdiv_experimental(int32_t a, int32_t b);
int32_t z6_fpow_0110(int32_t a, int32_t b);
int32_t fsqrt_Bakhsali(int32_t a);

#endif
