/*
** Script VM: internal limits, basic types and small helpers shared by
** every module, and the console-runtime services that the VM calls.
*/
#ifndef Z6_LLIMITS_H
#define Z6_LLIMITS_H

#include <climits>
#include <cstddef>
#include <cstdint>

#include "vm/lua.h"

typedef uint32_t lu_int32;

typedef size_t lu_mem;      /* unsigned memory counts */
typedef ptrdiff_t l_mem;    /* signed memory counts (collector debt) */

/* chars used as small naturals (so that 'char' is reserved for characters) */
typedef unsigned char lu_byte;

#define MAX_SIZET       ((size_t)(~(size_t)0) - 2)
#define MAX_LUMEM       ((lu_mem)(~(lu_mem)0) - 2)
#define MAX_LMEM        ((l_mem)(MAX_LUMEM >> 1))
#define MAX_INT         (INT_MAX - 2)

/* conversion of a pointer to an integer (hashing only; not portable) */
#define IntPoint(p)     ((unsigned int)(size_t)(p))

/* type to ensure maximum alignment of objects in front of their payload */
typedef union { void *s; long l; long long ll; } L_Umaxalign;

/* result of a 'usual argument conversion' over lua_Number */
typedef LUAI_UACNUMBER l_uacNumber;

/* internal assertions for in-house debugging */
#if defined(LUA_DEBUG_ASSERT)
#include <cassert>
#define lua_assert(c)           assert(c)
#define check_exp(c,e)          (lua_assert(c), (e))
#define lua_longassert(c)       { if (!(c)) lua_assert(0); }
#else
#define lua_assert(c)           ((void)0)
#define check_exp(c,e)          (e)
#define lua_longassert(c)       ((void)0)
#endif

/* API argument checks (assert-checked build with LUA_USE_APICHECK) */
#if !defined(luai_apicheck)
#define luai_apicheck(L,e)      lua_assert(e)
#endif
#define api_check(l,e,msg)      luai_apicheck(l,(e) && msg)

#define UNUSED(x)       ((void)(x))

#define cast(t, exp)    ((t)(exp))
#define cast_byte(i)    cast(lu_byte, (i))
#define cast_num(i)     cast(lua_Number, (i))
#define cast_int(i)     cast(int, (i))
#define cast_uchar(i)   cast(unsigned char, (i))

#define l_noret         [[noreturn]] void

/* maximum number of upvalues of a closure (Lua or C): fits in a byte */
#define MAXUPVAL        UCHAR_MAX

/* type for virtual-machine instructions: an unsigned 32-bit word */
typedef lu_int32 Instruction;

/* maximum stack for a Lua function */
#define MAXSTACK        250

/* minimum size for the string table (a power of 2) */
#define MINSTRTABSIZE   32

/* minimum size for string buffers */
#define LUA_MINBUFFER   32

#define lua_lock(L)     ((void) 0)
#define lua_unlock(L)   ((void) 0)
#define luai_threadyield(L)     {lua_unlock(L); lua_lock(L);}

#define luai_userstateopen(L)           ((void)L)
#define luai_userstateclose(L)          ((void)L)
#define luai_userstatethread(L,L1)      ((void)L)
#define luai_userstatefree(L,L1)        ((void)L)
#define luai_userstateresume(L,n)       ((void)L)
#define luai_userstateyield(L,n)        ((void)L)

/* hard stack tests for debugging: off */
#define condmovestack(L)        ((void)0)
#define condchangemem(L)        ((void)0)

/*
** Services of the console runtime that the VM calls.  The console
** provides them; tests and tools link the stand-ins in tools/standins.
*/
void spend_cpu (int n);                              /* 2*max(n,1) cycles; n<0 nothing */
lua_Number zibo6_peek_1 (lua_Number addr);           /* byte << 16 */
lua_Number zibo6_peek_2 (lua_Number addr);           /* little-endian 16 bits << 16 */
lua_Number zibo6_peek_4 (lua_Number addr);           /* raw 32 bits */
void *zibo6_lua_alloc (void *ud, void *ptr, size_t osize, size_t nsize);
int find_tab_line (int line, int *tab);              /* line within its code tab */
void zibo6_assert_message (const char *text);        /* store (or clear) the assert text */

#endif
