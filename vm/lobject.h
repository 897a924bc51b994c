/*
** Script VM: tagged values and the object model.
*/
#ifndef Z6_LOBJECT_H
#define Z6_LOBJECT_H

#include <cstdarg>
#include <cstddef>

#include "vm/llimits.h"
#include "vm/lua.h"
#include "vm/zmath.h"

/* tags of internal objects that scripts never see as values */
#define LUA_TPROTO   LUA_NUMTAGS
#define LUA_TUPVAL   (LUA_NUMTAGS + 1)
#define LUA_TDEADKEY (LUA_NUMTAGS + 2)

/* per-tag tables cover LUA_TNONE (-1) up to LUA_TUPVAL */
#define LUA_TOTALTAGS (LUA_TUPVAL + 2)

/*
** Tag layout: bits 0-3 basic type, bits 4-5 variant, bit 6 collectable.
*/
#define VARBITS (3 << 4)

/* only the two closure kinds are objects; plain C functions (and the fast
   ones, variant 3, whose tag the API needs and so lives in lua.h) are
   bare pointers */
#define LUA_TLCL (LUA_TFUNCTION | (0 << 4))
#define LUA_TLCF (LUA_TFUNCTION | (1 << 4))
#define LUA_TCCL (LUA_TFUNCTION | (2 << 4))

/* short strings are interned, long ones are not */
#define LUA_TSHRSTR (LUA_TSTRING | (0 << 4))
#define LUA_TLNGSTR (LUA_TSTRING | (1 << 4))

#define BIT_ISCOLLECTABLE (1 << 6)

#define ctb(t) ((t) | BIT_ISCOLLECTABLE)

typedef union GCObject GCObject;

/* every collectable object starts with its list link, tag and mark bits */
#define CommonHeader                                                                               \
    GCObject *next;                                                                                \
    lu_byte tt;                                                                                    \
    lu_byte marked

typedef struct GCheader {
    CommonHeader;
} GCheader;

/* the value part of a tagged value */
typedef union Value {
    GCObject *gc;
    void *p;
    int b;
    lua_CFunction f; /* for both plain and fast C functions */
    lua_Number n;    /* raw 16.16 */
} Value;

#define TValuefields                                                                               \
    Value value_;                                                                                  \
    int tt_

typedef struct lua_TValue TValue;
struct lua_TValue {
    TValuefields;
};

static_assert(sizeof(lua_Number) == 4, "numbers are 32-bit 16.16 values");
static_assert(sizeof(Value) == sizeof(void *), "a value word holds a pointer");
static_assert(offsetof(TValue, tt_) == sizeof(Value), "tag follows the value word");

/* initializer for a static nil */
#define NILCONSTANT {NULL}, LUA_TNIL

#define val_(o) ((o)->value_)
#define num_(o) (val_(o).n)

/* rttype: the whole tag; ttype: without the collectable bit; ttypenv and
   novariant: the basic type alone */
#define rttype(o)    ((o)->tt_)
#define novariant(x) ((x)&0x0F)
#define ttype(o)     (rttype(o) & 0x3F)
#define ttypenv(o)   (novariant(rttype(o)))

#define checktag(o, t)       (rttype(o) == (t))
#define checktype(o, t)      (ttypenv(o) == (t))
#define ttisnumber(o)        checktag((o), LUA_TNUMBER)
#define ttisnil(o)           checktag((o), LUA_TNIL)
#define ttisboolean(o)       checktag((o), LUA_TBOOLEAN)
#define ttislightuserdata(o) checktag((o), LUA_TLIGHTUSERDATA)
#define ttisstring(o)        checktype((o), LUA_TSTRING)
#define ttisshrstring(o)     checktag((o), ctb(LUA_TSHRSTR))
#define ttislngstring(o)     checktag((o), ctb(LUA_TLNGSTR))
#define ttistable(o)         checktag((o), ctb(LUA_TTABLE))
#define ttisfunction(o)      checktype(o, LUA_TFUNCTION)
#define ttisclosure(o)       ((rttype(o) & 0x1F) == LUA_TFUNCTION)
#define ttisCclosure(o)      checktag((o), ctb(LUA_TCCL))
#define ttisLclosure(o)      checktag((o), ctb(LUA_TLCL))
#define ttislcf(o)           checktag((o), LUA_TLCF)
#define ttisfcf(o)           checktag((o), LUA_TFCF)
#define ttisuserdata(o)      checktag((o), ctb(LUA_TUSERDATA))
#define ttisthread(o)        checktag((o), ctb(LUA_TTHREAD))
#define ttisdeadkey(o)       checktag((o), LUA_TDEADKEY)

#define ttisequal(o1, o2) (rttype(o1) == rttype(o2))

#define nvalue(o)     check_exp(ttisnumber(o), num_(o))
#define gcvalue(o)    check_exp(iscollectable(o), val_(o).gc)
#define pvalue(o)     check_exp(ttislightuserdata(o), val_(o).p)
#define rawtsvalue(o) check_exp(ttisstring(o), &val_(o).gc->ts)
#define tsvalue(o)    (&rawtsvalue(o)->tsv)
#define rawuvalue(o)  check_exp(ttisuserdata(o), &val_(o).gc->u)
#define uvalue(o)     (&rawuvalue(o)->uv)
#define clvalue(o)    check_exp(ttisclosure(o), &val_(o).gc->cl)
#define clLvalue(o)   check_exp(ttisLclosure(o), &val_(o).gc->cl.l)
#define clCvalue(o)   check_exp(ttisCclosure(o), &val_(o).gc->cl.c)
#define fvalue(o)     check_exp(ttislcf(o) || ttisfcf(o), val_(o).f)
#define hvalue(o)     check_exp(ttistable(o), &val_(o).gc->h)
#define bvalue(o)     check_exp(ttisboolean(o), val_(o).b)
#define thvalue(o)    check_exp(ttisthread(o), &val_(o).gc->th)
/* a dead key's object may be freed already: only its address is usable */
#define deadvalue(o) check_exp(ttisdeadkey(o), cast(void *, val_(o).gc))

#define l_isfalse(o) (ttisnil(o) || (ttisboolean(o) && bvalue(o) == 0))

#define iscollectable(o) (rttype(o) & BIT_ISCOLLECTABLE)

/* debug-build checks that a value's tag matches its object */
#define righttt(obj) (ttype(obj) == gcvalue(obj)->gch.tt)

#define checkliveness(g, obj)                                                                      \
    lua_longassert(!iscollectable(obj) || (righttt(obj) && !isdead(g, gcvalue(obj))))

#define settt_(o, t) ((o)->tt_ = (t))

/*
** Numbers and booleans are narrower than the union. They are written as a
** whole union (the rest zero): copying a value moves all of it, and a copy
** that reads a value just written in part would wait for that store to
** reach the cache instead of taking it straight from the store.
*/
inline Value z6_number_value(lua_Number n) {
    Value v;
    v.p = NULL;
    v.n = n;
    return v;
}

inline Value z6_bool_value(int b) {
    Value v;
    v.p = NULL;
    v.b = b;
    return v;
}

#define setnvalue(obj, x)                                                                          \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io) = z6_number_value(x);                                                             \
        settt_(io, LUA_TNUMBER);                                                                   \
    }

#define setnilvalue(obj) settt_(obj, LUA_TNIL)

#define setfvalue(obj, x)                                                                          \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).f = (x);                                                                          \
        settt_(io, LUA_TLCF);                                                                      \
    }

#define setfcfvalue(obj, x)                                                                        \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).f = (x);                                                                          \
        settt_(io, LUA_TFCF);                                                                      \
    }

#define setpvalue(obj, x)                                                                          \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).p = (x);                                                                          \
        settt_(io, LUA_TLIGHTUSERDATA);                                                            \
    }

#define setbvalue(obj, x)                                                                          \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io) = z6_bool_value(x);                                                               \
        settt_(io, LUA_TBOOLEAN);                                                                  \
    }

#define setgcovalue(L, obj, x)                                                                     \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        GCObject *i_g = (x);                                                                       \
        val_(io).gc = i_g;                                                                         \
        settt_(io, ctb(gch(i_g)->tt));                                                             \
    }

#define setsvalue(L, obj, x)                                                                       \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        TString *x_ = (x);                                                                         \
        val_(io).gc = cast(GCObject *, x_);                                                        \
        settt_(io, ctb(x_->tsv.tt));                                                               \
        checkliveness(G(L), io);                                                                   \
    }

#define setuvalue(L, obj, x)                                                                       \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TUSERDATA));                                                            \
        checkliveness(G(L), io);                                                                   \
    }

#define setthvalue(L, obj, x)                                                                      \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TTHREAD));                                                              \
        checkliveness(G(L), io);                                                                   \
    }

#define setclLvalue(L, obj, x)                                                                     \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TLCL));                                                                 \
        checkliveness(G(L), io);                                                                   \
    }

#define setclCvalue(L, obj, x)                                                                     \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TCCL));                                                                 \
        checkliveness(G(L), io);                                                                   \
    }

#define sethvalue(L, obj, x)                                                                       \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TTABLE));                                                               \
        checkliveness(G(L), io);                                                                   \
    }

#define setptvalue(L, obj, x)                                                                      \
    {                                                                                              \
        TValue *io = (obj);                                                                        \
        val_(io).gc = cast(GCObject *, (x));                                                       \
        settt_(io, ctb(LUA_TPROTO));                                                               \
        checkliveness(G(L), io);                                                                   \
    }

#define setdeadvalue(obj) settt_(obj, LUA_TDEADKEY)

#define setobj(L, obj1, obj2)                                                                      \
    {                                                                                              \
        const TValue *io2 = (obj2);                                                                \
        TValue *io1 = (obj1);                                                                      \
        io1->value_ = io2->value_;                                                                 \
        io1->tt_ = io2->tt_;                                                                       \
        checkliveness(G(L), io1);                                                                  \
    }

/* copies named after where the value lands (s: stack, t: table, n: new
   object); they are all the same copy, the names keep call sites honest */
#define setobjs2s    setobj
#define setobj2s     setobj
#define setsvalue2s  setsvalue
#define sethvalue2s  sethvalue
#define setptvalue2s setptvalue
#define setobjt2t    setobj
#define setobj2t     setobj
#define setobj2n     setobj
#define setsvalue2n  setsvalue

typedef TValue *StkId;

/* string header; the bytes and a terminating zero follow it */
typedef union TString {
    L_Umaxalign dummy; /* pads the header so what follows is aligned */
    struct {
        CommonHeader;
        lu_byte extra; /* reserved words for short strings; "has hash" for longs */
        unsigned int hash;
        size_t len; /* without the terminating zero */
    } tsv;
} TString;

/* the bytes, right after the header */
#define getstr(ts) cast(const char *, (ts) + 1)
#define svalue(o)  getstr(rawtsvalue(o))

/* userdata header; the data block follows it */
typedef union Udata {
    L_Umaxalign dummy; /* the block may hold any C type */
    struct {
        CommonHeader;
        struct Table *metatable;
        struct Table *env;
        size_t len;
    } uv;
} Udata;

/* where a closure finds an upvalue when it is created: a register of the
   enclosing function (instack) or one of that function's own upvalues */
typedef struct Upvaldesc {
    TString *name;
    lu_byte instack;
    lu_byte idx;
} Upvaldesc;

/* a local's name and the instruction range [startpc, endpc) it is live in */
typedef struct LocVar {
    TString *varname;
    int startpc;
    int endpc;
} LocVar;

/* compiled function: what closures of it share */
typedef struct Proto {
    CommonHeader;
    TValue *k;
    Instruction *code;
    struct Proto **p; /* nested functions */
    int *lineinfo;    /* source line of each instruction */
    LocVar *locvars;
    Upvaldesc *upvalues;
    union Closure *cache; /* reused when the upvalues would be the same */
    TString *source;
    int sizeupvalues;
    int sizek;
    int sizecode;
    int sizelineinfo;
    int sizep;
    int sizelocvars;
    int linedefined;
    int lastlinedefined;
    GCObject *gclist;
    lu_byte numparams;
    lu_byte is_vararg;
    lu_byte maxstacksize; /* registers needed, checked when called */
} Proto;

/* an upvalue is open while its variable is still on the stack; closing
   copies the value in and points 'v' at it */
typedef struct UpVal {
    CommonHeader;
    TValue *v;
    union {
        TValue value;
        struct { /* the global 'uvhead' ring, while open */
            struct UpVal *prev;
            struct UpVal *next;
        } l;
    } u;
} UpVal;

#define ClosureHeader                                                                              \
    CommonHeader;                                                                                  \
    lu_byte nupvalues;                                                                             \
    GCObject *gclist

typedef struct CClosure {
    ClosureHeader;
    lua_CFunction f;
    TValue upvalue[1]; /* really 'nupvalues' long */
} CClosure;

typedef struct LClosure {
    ClosureHeader;
    struct Proto *p;
    UpVal *upvals[1]; /* really 'nupvalues' long */
} LClosure;

typedef union Closure {
    CClosure c;
    LClosure l;
} Closure;

#define isLfunction(o) ttisLclosure(o)

#define getproto(o) (clLvalue(o)->p)

/* the key shares its TValue layout with the collision link, so gkey can
   hand it out as a plain value */
typedef union TKey {
    struct {
        TValuefields;
        struct Node *next;
    } nk;
    TValue tvk;
} TKey;

typedef struct Node {
    TValue i_val;
    TKey i_key;
} Node;

typedef struct Table {
    CommonHeader;
    lu_byte flags; /* cache: bit e set when the metatable lacks event e */
    lu_byte lsizenode;
    unsigned int nodemask; /* sizenode - 1: string lookups mask their hash with it */
    struct Table *metatable;
    TValue *array;
    Node *node;
    Node *lastfree; /* no free node above this one */
    GCObject *gclist;
    int sizearray;
} Table;

/* s modulo a power of two */
#define lmod(s, size) (check_exp((size & (size - 1)) == 0, (cast(int, (s) & ((size)-1)))))

#define twoto(x)    (1 << (x))
#define sizenode(t) (twoto((t)->lsizenode))

/* the nil handed out for missing entries; never written to */
#define luaO_nilobject (&luaO_nilobject_)

LUAI_DDEC const TValue luaO_nilobject_;

int luaO_int2fb(unsigned int x);
int luaO_fb2int(int x);
int luaO_ceillog2(unsigned int x);
lua_Number luaO_arith(int op, lua_Number v1, lua_Number v2);
int luaO_str2d(const char *s, size_t len, lua_Number *result);
int luaO_hexavalue(int c);
const char *luaO_pushvfstring(lua_State *L, const char *fmt, va_list argp);
const char *luaO_pushfstring(lua_State *L, const char *fmt, ...);
void luaO_chunkid(char *out, const char *source, size_t len);

#endif
