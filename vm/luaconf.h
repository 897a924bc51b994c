/*
** Script VM: build configuration.
** The number type is a 16.16 fixed-point value held in a signed 32-bit
** integer; there is no floating point anywhere in the value model.
*/
#ifndef Z6_LUACONF_H
#define Z6_LUACONF_H

#include <climits>
#include <cstddef>
#include <cstdint>

/* Every API and internal function has ordinary C++ linkage. */
#define LUA_API    extern
#define LUALIB_API LUA_API
#define LUAMOD_API LUALIB_API
#define LUAI_FUNC  extern
#define LUAI_DDEC  extern
#define LUAI_DDEF

/* Size of the source-name shortening buffer of luaO_chunkid. */
#define LUA_IDSIZE 60

/* Initial size of the auxiliary library's string buffers. */
#define LUAL_BUFFERSIZE 1024

/* Strings of at most this many bytes are interned. */
#define LUAI_MAXSHORTLEN 40

/* Largest number of slots of one thread's stack. */
#define LUAI_MAXSTACK       1000000
#define LUAI_FIRSTPSEUDOIDX (-LUAI_MAXSTACK - 1000)

/* Nested C calls before "C stack overflow". */
#define LUAI_MAXCCALLS 200

/* Bits in an int: at least 32 on every target we build for. */
#define LUAI_BITSINT 32
static_assert(sizeof(int) * CHAR_BIT >= 32, "int must hold 32 bits");

/*
** Numbers: 16 integer bits, 16 fraction bits.  LUAI_UACNUMBER is what a
** number becomes when passed through '...' (the 32-bit int it already is).
*/
#define LUA_NUMBER         int32_t
#define LUAI_UACNUMBER     int
#define LUA_NUMBER_SCAN    "%d"
#define LUA_NUMBER_FMT     "%d"
#define LUAI_MAXNUMBER2STR 32 /* text form of a 16.16 value fits easily */

/* The API integer is pointer-sized; the API unsigned type is 32 bits. */
#define LUA_INTEGER  ptrdiff_t
#define LUA_UNSIGNED uint32_t

/* Number to text: the console's own format (zmath). */
#define lua_number2str(s, n) zibo6_fixed_to_string((s), (n))

/*
** Conversions at the C boundary.  Shifts go through uint32_t so that no
** signed value is ever shifted left or overflows; the right shift of a
** negative int32_t is arithmetic (defined in C++20).
*/
#define lua_number2integer(i, n)  ((i) = (LUA_INTEGER)((int32_t)(n) >> 16))
#define lua_number2int(i, n)      ((i) = (int)((int32_t)(n) >> 16))
#define lua_number2unsigned(u, n) ((u) = (LUA_UNSIGNED)(uint32_t)((int32_t)(n) >> 16))
#define lua_integer2number(i)     ((LUA_NUMBER)(uint32_t)((uint32_t)(i) << 16))
#define lua_unsigned2number(u)    ((LUA_NUMBER)(uint32_t)((uint32_t)(u) << 16))

/* Arithmetic used by the interpreter and the code generator's folding. */
#define luai_numadd(L, a, b) ((LUA_NUMBER)((uint32_t)(a) + (uint32_t)(b)))
#define luai_numsub(L, a, b) ((LUA_NUMBER)((uint32_t)(a) - (uint32_t)(b)))
#define luai_nummul(L, a, b) (z6_fmul((a), (b)))
#define luai_numdiv(L, a, b) (z6_fdiv((a), (b)))
/* the quotient's integer part, rounded toward minus infinity */
#define luai_numidiv(L, a, b) ((LUA_NUMBER)((uint32_t)z6_fdiv((a), (b)) & 0xffff0000u))
#define luai_nummod(L, a, b)  (z6_fmod((a), (b)))
#define luai_numpow(L, a, b)  (z6_fpow((a), (b)))
#define luai_numunm(L, a)     ((LUA_NUMBER)(0u - (uint32_t)(a)))
#define luai_numeq(a, b)      ((a) == (b))
#define luai_numlt(L, a, b)   ((a) < (b))
#define luai_numle(L, a, b)   ((a) <= (b))
#define luai_numisnan(L, a)   (0)

/*
** API argument checks: off, since every caller is our own code.
** Defining LUA_USE_APICHECK turns them into asserts; the test program
** vm_apicheck builds the API that way.
*/
#if defined(LUA_USE_APICHECK)
#include <cassert>
#define luai_apicheck(L, e) assert(e)
#endif

#endif
