/*
** Script VM: internal limits, basic types and small helpers shared by
** every module.
*/
#ifndef Z6_LLIMITS_H
#define Z6_LLIMITS_H

#include <climits>
#include <cstddef>
#include <cstdint>

#include "vm/lua.h"

typedef uint32_t lu_int32;

typedef size_t lu_mem;   /* unsigned memory counts */
typedef ptrdiff_t l_mem; /* signed memory counts (collector debt) */

/* small counts and flags; plain 'char' is kept for text */
typedef unsigned char lu_byte;

#define MAX_SIZET ((size_t)(~(size_t)0) - 2)
#define MAX_LUMEM ((lu_mem)(~(lu_mem)0) - 2)
#define MAX_LMEM  ((l_mem)(MAX_LUMEM >> 1))
#define MAX_INT   (INT_MAX - 2)

/* the largest whole number, so the last list index and the last array-part
   slot: the integer after it is -32768 */
#define Z6_MAXARRAYKEY 32767

/* a pointer's low bits, for hashing: losing the high ones is harmless */
#define IntPoint(p) ((unsigned int)(size_t)(p))

/* object headers with a payload after them are padded to this */
typedef union {
    void *s;
    long l;
    long long ll;
} L_Umaxalign;

/* what a lua_Number turns into when passed through '...' */
typedef LUAI_UACNUMBER l_uacNumber;

/* checks compiled only into LUA_DEBUG_ASSERT builds */
#if defined(LUA_DEBUG_ASSERT)
#include <cassert>
#define lua_assert(c)   assert(c)
#define check_exp(c, e) (lua_assert(c), (e))
#define lua_longassert(c)                                                                          \
    {                                                                                              \
        if (!(c)) lua_assert(0);                                                                   \
    }
#else
#define lua_assert(c)     ((void)0)
#define check_exp(c, e)   (e)
#define lua_longassert(c) ((void)0)
#endif

/* API argument checks (assert-checked build with LUA_USE_APICHECK) */
#if !defined(luai_apicheck)
#define luai_apicheck(L, e) lua_assert(e)
#endif
#define api_check(l, e, msg) luai_apicheck(l, (e) && msg)

#define UNUSED(x) ((void)(x))

#define cast(t, exp)  ((t)(exp))
#define cast_byte(i)  cast(lu_byte, (i))
#define cast_num(i)   cast(lua_Number, (i))
#define cast_int(i)   cast(int, (i))
#define cast_uchar(i) cast(unsigned char, (i))

#define l_noret [[noreturn]] void

/* branch hints for the hot paths */
#if defined(__GNUC__)
#define l_likely(x)   __builtin_expect(!!(x), 1)
#define l_unlikely(x) __builtin_expect(!!(x), 0)
#else
#define l_likely(x)   (x)
#define l_unlikely(x) (x)
#endif

/* Byte plumbing whose only comparisons are buffer sizes and counts, never the
   bytes it moves: kept out of coverage instrumentation, whose comparison
   tracing would otherwise run for every byte of every source text. */
#if defined(__clang__)
#define l_uninstrumented __attribute__((no_sanitize("coverage")))
#else
#define l_uninstrumented
#endif

/* closures count upvalues in a byte */
#define MAXUPVAL UCHAR_MAX

/* instructions are packed into 32-bit words (see lopcodes.h) */
typedef lu_int32 Instruction;

/* registers of one function: 'maxstacksize' is a byte, and NO_REG (255)
   must never be a real register */
#define MAXSTACK 250

/* initial string table size (a power of 2) */
#define MINSTRTABSIZE 32

/* growing buffers start at least this big */
#define LUA_MINBUFFER 32

#define lua_lock(L)   ((void)0)
#define lua_unlock(L) ((void)0)
#define luai_threadyield(L)                                                                        \
    {                                                                                              \
        lua_unlock(L);                                                                             \
        lua_lock(L);                                                                               \
    }

#define luai_userstateopen(L)       ((void)L)
#define luai_userstateclose(L)      ((void)L)
#define luai_userstatethread(L, L1) ((void)L)
#define luai_userstatefree(L, L1)   ((void)L)
#define luai_userstateresume(L, n)  ((void)L)
#define luai_userstateyield(L, n)   ((void)L)

/* hooks for stress builds that move the stack or collect at every chance;
   not used */
#define condmovestack(L) ((void)0)
#define condchangemem(L) ((void)0)

/* the console runtime's services (zibo6_vm) are in vm/hooks.h */
#include "vm/hooks.h"

#endif
