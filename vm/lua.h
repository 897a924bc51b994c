/*
** Layer vm: the script VM; calls only engine/ (its maths) and platform/ below it.
** Script VM: the public C API.
** The embedding interface of the script language, with a 16.16 fixed-point
** number type, the fast C function convention (LUA_FASTCALL / LUA_TFCF) and the console's extra
** operators, metamethod events and cycle accounting.
*/
#ifndef Z6_LUA_H
#define Z6_LUA_H

#include <cstdarg>
#include <cstddef>

#include "vm/luaconf.h"

#define LUA_VERSION_MAJOR   "5"
#define LUA_VERSION_MINOR   "2"
#define LUA_VERSION_NUM     502
#define LUA_VERSION_RELEASE "3"
#define LUA_VERSION         "Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR
#define LUA_RELEASE         LUA_VERSION "." LUA_VERSION_RELEASE

/* first bytes of a binary chunk; the loader takes any chunk starting
   with ESC as binary */
#define LUA_SIGNATURE "\033Lua"

/* as a result count: keep every result */
#define LUA_MULTRET (-1)

/* indices below every valid stack index */
#define LUA_REGISTRYINDEX   LUAI_FIRSTPSEUDOIDX
#define lua_upvalueindex(i) (LUA_REGISTRYINDEX - (i))

/* status codes of threads and protected calls */
#define LUA_OK        0
#define LUA_YIELD     1
#define LUA_ERRRUN    2
#define LUA_ERRSYNTAX 3
#define LUA_ERRMEM    4
#define LUA_ERRGCMM   5
#define LUA_ERRERR    6

typedef struct lua_State lua_State;
struct lua_TValue;

typedef int (*lua_CFunction)(lua_State *L);

/*
** A fast C function has the signature of a lua_CFunction, but its result
** is the 16.16 number it returns, not a count of results.  Registered with
** lua_pushcclosure(L, f, LUA_FASTCALL).
*/
typedef int (*lua_FastCFunction)(lua_State *L);
#define LUA_FASTCALL (-3333)

/* chunk I/O: a reader hands out pieces until it returns null or size 0 */
typedef const char *(*lua_Reader)(lua_State *L, void *ud, size_t *sz);
typedef int (*lua_Writer)(lua_State *L, const void *p, size_t sz, void *ud);

/* allocator hook; when ptr is null, osize carries the kind of object */
typedef void *(*lua_Alloc)(void *ud, void *ptr, size_t osize, size_t nsize);

#define LUA_TNONE          (-1)
#define LUA_TNIL           0
#define LUA_TBOOLEAN       1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER        3
#define LUA_TSTRING        4
#define LUA_TTABLE         5
#define LUA_TFUNCTION      6
#define LUA_TUSERDATA      7
#define LUA_TTHREAD        8
#define LUA_NUMTAGS        9

/* value tag of a fast C function: variant 3 of the function type */
#define LUA_TFCF (LUA_TFUNCTION | (3 << 4))
static_assert(LUA_TFCF == 54, "fast C function tag");

/* free slots a C function may use without lua_checkstack */
#define LUA_MINSTACK 20

/* fixed registry slots */
#define LUA_RIDX_MAINTHREAD 1
#define LUA_RIDX_GLOBALS    2
#define LUA_RIDX_LAST       LUA_RIDX_GLOBALS

typedef LUA_NUMBER lua_Number;
typedef LUA_INTEGER lua_Integer;
typedef LUA_UNSIGNED lua_Unsigned;

LUA_API lua_State *(lua_newstate)(lua_Alloc f, void *ud);
LUA_API void(lua_close)(lua_State *L);
LUA_API lua_State *(lua_newthread)(lua_State *L);
LUA_API lua_CFunction(lua_atpanic)(lua_State *L, lua_CFunction panicf);
LUA_API const lua_Number *(lua_version)(lua_State *L);

LUA_API int(lua_absindex)(lua_State *L, int idx);
LUA_API int(lua_gettop)(lua_State *L);
LUA_API void(lua_settop)(lua_State *L, int idx);
LUA_API void(lua_pushvalue)(lua_State *L, int idx);
LUA_API void(lua_remove)(lua_State *L, int idx);
LUA_API void(lua_insert)(lua_State *L, int idx);
LUA_API void(lua_replace)(lua_State *L, int idx);
LUA_API void(lua_copy)(lua_State *L, int fromidx, int toidx);
LUA_API int(lua_checkstack)(lua_State *L, int sz);
LUA_API void(lua_xmove)(lua_State *from, lua_State *to, int n);

/* reading stack slots */
LUA_API int(lua_isnumber)(lua_State *L, int idx);
LUA_API int(lua_isstring)(lua_State *L, int idx);
LUA_API int(lua_iscfunction)(lua_State *L, int idx);
LUA_API int(lua_isuserdata)(lua_State *L, int idx);
LUA_API int(lua_type)(lua_State *L, int idx);
LUA_API const char *(lua_typename)(lua_State *L, int tp);

LUA_API lua_Number(lua_tonumberx)(lua_State *L, int idx, int *isnum);
LUA_API lua_Integer(lua_tointegerx)(lua_State *L, int idx, int *isnum);
LUA_API lua_Unsigned(lua_tounsignedx)(lua_State *L, int idx, int *isnum);
LUA_API int(lua_toboolean)(lua_State *L, int idx);
LUA_API const char *(lua_tolstring)(lua_State *L, int idx, size_t *len);
LUA_API size_t(lua_rawlen)(lua_State *L, int idx);
LUA_API lua_CFunction(lua_tocfunction)(lua_State *L, int idx);
LUA_API void *(lua_touserdata)(lua_State *L, int idx);
LUA_API lua_State *(lua_tothread)(lua_State *L, int idx);
LUA_API const void *(lua_topointer)(lua_State *L, int idx);

/* the number in a stack slot (not an index): numbers, convertible strings, else 0 */
LUA_API lua_Number(lua_tonumber_from_tvalue)(const struct lua_TValue *o);

/* arithmetic codes of lua_arith (the metamethod events minus 6) */
#define LUA_OPADD   0
#define LUA_OPSUB   1
#define LUA_OPMUL   2
#define LUA_OPDIV   3
#define LUA_OPMOD   4
#define LUA_OPPOW   5
#define LUA_OPBAND  6
#define LUA_OPBOR   7
#define LUA_OPBXOR  8
#define LUA_OPSHL   9
#define LUA_OPSHR   10
#define LUA_OPLSHR  11
#define LUA_OPROTL  12
#define LUA_OPROTR  13
#define LUA_OPBNOT  14
#define LUA_OPIDIV  15
#define LUA_OPPEEK  16
#define LUA_OPPEEK2 17
#define LUA_OPPEEK4 18
#define LUA_OPUNM   19

LUA_API void(lua_arith)(lua_State *L, int op);

#define LUA_OPEQ 0
#define LUA_OPLT 1
#define LUA_OPLE 2

LUA_API int(lua_rawequal)(lua_State *L, int idx1, int idx2);
LUA_API int(lua_compare)(lua_State *L, int idx1, int idx2, int op);

/* pushing values */
LUA_API void(lua_pushnil)(lua_State *L);
LUA_API void(lua_pushnumber)(lua_State *L, lua_Number n);
LUA_API void(lua_pushinteger)(lua_State *L, lua_Integer n);
LUA_API void(lua_pushunsigned)(lua_State *L, lua_Unsigned n);
LUA_API const char *(lua_pushlstring)(lua_State *L, const char *s, size_t l);
LUA_API const char *(lua_pushstring)(lua_State *L, const char *s);
LUA_API const char *(lua_pushvfstring)(lua_State *L, const char *fmt, va_list argp);
LUA_API const char *(lua_pushfstring)(lua_State *L, const char *fmt, ...);
LUA_API void(lua_pushcclosure)(lua_State *L, lua_CFunction fn, int n);
LUA_API void(lua_pushboolean)(lua_State *L, int b);
LUA_API void(lua_pushlightuserdata)(lua_State *L, void *p);
LUA_API int(lua_pushthread)(lua_State *L);

/* reads from tables and objects, pushing the result */
LUA_API void(lua_getglobal)(lua_State *L, const char *var);
LUA_API void(lua_gettable)(lua_State *L, int idx);
LUA_API void(lua_getfield)(lua_State *L, int idx, const char *k);
LUA_API void(lua_rawget)(lua_State *L, int idx);
LUA_API void(lua_rawgeti)(lua_State *L, int idx, int n);
LUA_API void(lua_rawgetp)(lua_State *L, int idx, const void *p);
LUA_API void(lua_createtable)(lua_State *L, int narr, int nrec);
LUA_API void *(lua_newuserdata)(lua_State *L, size_t sz);
LUA_API int(lua_getmetatable)(lua_State *L, int objindex);
LUA_API void(lua_getuservalue)(lua_State *L, int idx);

/* writes into tables and objects, popping the value */
LUA_API void(lua_setglobal)(lua_State *L, const char *var);
LUA_API void(lua_settable)(lua_State *L, int idx);
LUA_API void(lua_setfield)(lua_State *L, int idx, const char *k);
LUA_API void(lua_rawset)(lua_State *L, int idx);
LUA_API void(lua_rawseti)(lua_State *L, int idx, int n);
LUA_API void(lua_rawsetp)(lua_State *L, int idx, const void *p);
LUA_API int(lua_setmetatable)(lua_State *L, int objindex);
LUA_API void(lua_setuservalue)(lua_State *L, int idx);

/* the k variants continue in 'k' when a yield interrupts the call */
LUA_API void(lua_callk)(lua_State *L, int nargs, int nresults, int ctx, lua_CFunction k);
#define lua_call(L, n, r) lua_callk(L, (n), (r), 0, NULL)

LUA_API int(lua_getctx)(lua_State *L, int *ctx);

LUA_API int(lua_pcallk)(lua_State *L, int nargs, int nresults, int errfunc, int ctx,
                        lua_CFunction k);
#define lua_pcall(L, n, r, f) lua_pcallk(L, (n), (r), (f), 0, NULL)

LUA_API int(lua_load)(lua_State *L, lua_Reader reader, void *dt, const char *chunkname,
                      const char *mode);
LUA_API int(lua_dump)(lua_State *L, lua_Writer writer, void *data);

LUA_API int(lua_yieldk)(lua_State *L, int nresults, int ctx, lua_CFunction k);
#define lua_yield(L, n) lua_yieldk(L, (n), 0, NULL)
LUA_API int(lua_resume)(lua_State *L, lua_State *from, int narg);
LUA_API int(lua_status)(lua_State *L);

/* a state left suspended or in error becomes reusable (status OK, base call) */
LUA_API void(lua_reset_call_state_zibo6)(lua_State *L);

/* the thread whose code runs now (the innermost lua_resume), or NULL outside
   every resume: console services raise their script errors on it */
LUA_API lua_State *(lua_running_thread)(void);

/* lua_gc requests */
#define LUA_GCSTOP        0
#define LUA_GCRESTART     1
#define LUA_GCCOLLECT     2
#define LUA_GCCOUNT       3
#define LUA_GCCOUNTB      4
#define LUA_GCSTEP        5
#define LUA_GCSETPAUSE    6
#define LUA_GCSETSTEPMUL  7
#define LUA_GCSETMAJORINC 8
#define LUA_GCISRUNNING   9
#define LUA_GCGEN         10
#define LUA_GCINC         11

LUA_API int(lua_gc)(lua_State *L, int what, int data);

LUA_API int(lua_error)(lua_State *L);
LUA_API int(lua_next)(lua_State *L, int idx);
LUA_API void(lua_concat)(lua_State *L, int n);
LUA_API void(lua_len)(lua_State *L, int idx);
LUA_API lua_Alloc(lua_getallocf)(lua_State *L, void **ud);
LUA_API void(lua_setallocf)(lua_State *L, lua_Alloc f, void *ud);

/* CPU cycle accounting and forced yields (process-wide counters) */
void lua_cpu_prepare_for_resume(void);
void lua_cpu_prepare_for_slice(void);
int lua_get_cpu_superyielded_coresume(void);
void lua_set_cpu_superyielded_coresume(int v);
int lua_get_cpu_cycles(void);
void lua_add_cpu_cycles(int n);
void lua_set_cpu_cycles_slice_max(int n);
void lua_reset_cpu_cycles(void);
void lua_cpu_superyield(void);
/* 1 when co is suspended by a forced yield, not by a yield of its own */
LUA_API int(lua_forcedout)(lua_State *co);
/* cycles past its budget a slice may run with a yield deferred before the yield error
   (Z6_CPU_DEFERRAL_LIMIT by default; fuzz rigs lower it so a runaway ends quickly) */
void lua_set_cpu_deferral_limit(int n);

#define lua_tonumber(L, i)   lua_tonumberx(L, i, NULL)
#define lua_tointeger(L, i)  lua_tointegerx(L, i, NULL)
#define lua_tounsigned(L, i) lua_tounsignedx(L, i, NULL)

#define lua_pop(L, n)           lua_settop(L, -(n)-1)
#define lua_newtable(L)         lua_createtable(L, 0, 0)
#define lua_register(L, n, f)   (lua_pushcfunction(L, (f)), lua_setglobal(L, (n)))
#define lua_pushcfunction(L, f) lua_pushcclosure(L, (f), 0)

#define lua_isfunction(L, n)      (lua_type(L, (n)) == LUA_TFUNCTION)
#define lua_istable(L, n)         (lua_type(L, (n)) == LUA_TTABLE)
#define lua_islightuserdata(L, n) (lua_type(L, (n)) == LUA_TLIGHTUSERDATA)
#define lua_isnil(L, n)           (lua_type(L, (n)) == LUA_TNIL)
#define lua_isboolean(L, n)       (lua_type(L, (n)) == LUA_TBOOLEAN)
#define lua_isthread(L, n)        (lua_type(L, (n)) == LUA_TTHREAD)
#define lua_isnone(L, n)          (lua_type(L, (n)) == LUA_TNONE)
#define lua_isnoneornil(L, n)     (lua_type(L, (n)) <= 0)

#define lua_pushliteral(L, s) lua_pushlstring(L, "" s, (sizeof(s) / sizeof(char)) - 1)

#define lua_pushglobaltable(L) lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS)

#define lua_tostring(L, i) lua_tolstring(L, (i), NULL)

/* debug interface; hooks are accepted but never run */
#define LUA_HOOKCALL     0
#define LUA_HOOKRET      1
#define LUA_HOOKLINE     2
#define LUA_HOOKCOUNT    3
#define LUA_HOOKTAILCALL 4

#define LUA_MASKCALL  (1 << LUA_HOOKCALL)
#define LUA_MASKRET   (1 << LUA_HOOKRET)
#define LUA_MASKLINE  (1 << LUA_HOOKLINE)
#define LUA_MASKCOUNT (1 << LUA_HOOKCOUNT)

typedef struct lua_Debug lua_Debug;

typedef void (*lua_Hook)(lua_State *L, lua_Debug *ar);

LUA_API int(lua_getstack)(lua_State *L, int level, lua_Debug *ar);
LUA_API int(lua_getinfo)(lua_State *L, const char *what, lua_Debug *ar);
LUA_API const char *(lua_getlocal)(lua_State *L, const lua_Debug *ar, int n);
LUA_API const char *(lua_setlocal)(lua_State *L, const lua_Debug *ar, int n);
LUA_API const char *(lua_getupvalue)(lua_State *L, int funcindex, int n);
LUA_API const char *(lua_setupvalue)(lua_State *L, int funcindex, int n);

LUA_API void *(lua_upvalueid)(lua_State *L, int fidx, int n);
LUA_API void(lua_upvaluejoin)(lua_State *L, int fidx1, int n1, int fidx2, int n2);

LUA_API int(lua_sethook)(lua_State *L, lua_Hook func, int mask, int count);
LUA_API lua_Hook(lua_gethook)(lua_State *L);
LUA_API int(lua_gethookmask)(lua_State *L);
LUA_API int(lua_gethookcount)(lua_State *L);

struct lua_Debug {
    int event;
    /* each group is filled by the lua_getinfo option letter beside it */
    const char *name;           /* n */
    const char *namewhat;       /* n */
    const char *what;           /* S */
    const char *source;         /* S */
    int currentline;            /* l */
    int linedefined;            /* S */
    int lastlinedefined;        /* S */
    unsigned char nups;         /* u */
    unsigned char nparams;      /* u */
    char isvararg;              /* u */
    char istailcall;            /* t */
    char short_src[LUA_IDSIZE]; /* S */
    struct CallInfo *i_ci;      /* set by lua_getstack, for lua_getinfo */
};

#endif
