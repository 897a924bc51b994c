/*
** Script VM: the garbage collector (incremental tri-colour mark and sweep
** with an optional generational mode, weak tables and finalizers).
*/
#ifndef Z6_LGC_H
#define Z6_LGC_H

#include "vm/lobject.h"
#include "vm/lstate.h"

/*
** Colours: white (not reached), gray (reached, references not yet
** followed), black (reached and followed).  While marking, no black object
** may point to a white one; the barriers below keep it so.
*/

/* bytes a script may allocate between two collector steps */
#define GCSTEPSIZE 2400

/* starting collector parameters (percentages) */
#define LUAI_GCPAUSE 200 /* wait for memory to double before a new cycle */
#define LUAI_GCMUL   200 /* a step works twice as fast as allocation */
#define LUAI_GCMAJOR 200 /* generational: major collection at doubled memory */

/* collector states, in cycle order except that a cycle starts at pause;
   keepinvariant relies on the marking states coming first */
#define GCSpropagate   0
#define GCSatomic      1
#define GCSsweepstring 2
#define GCSsweepudata  3
#define GCSsweep       4
#define GCSpause       5

#define issweepphase(g) (GCSsweepstring <= (g)->gcstate && (g)->gcstate <= GCSsweep)

#define isgenerational(g) ((g)->gckind == KGC_GEN)

/* the colour invariant holds while marking and in generational mode */
#define keepinvariant(g) (isgenerational(g) || g->gcstate <= GCSatomic)

/* bit helpers for the 'marked' byte */
#define resetbits(x, m)  ((x) &= cast(lu_byte, ~(m)))
#define setbits(x, m)    ((x) |= (m))
#define testbits(x, m)   ((x) & (m))
#define bitmask(b)       (1 << (b))
#define bit2mask(b1, b2) (bitmask(b1) | bitmask(b2))
#define l_setbit(x, b)   setbits(x, bitmask(b))
#define resetbit(x, b)   resetbits(x, bitmask(b))
#define testbit(x, b)    testbits(x, bitmask(b))

/* bits of 'marked' */
#define WHITE0BIT    0 /* the two whites alternate between cycles */
#define WHITE1BIT    1
#define BLACKBIT     2
#define FINALIZEDBIT 3 /* queued on 'tobefnz'; its finalizer runs once */
#define SEPARATED    4 /* lives on 'finobj' or 'tobefnz', not 'allgc' */
#define FIXEDBIT     5 /* never collected (reserved words, memory-error text) */
#define OLDBIT       6 /* survived a generational collection */

#define WHITEBITS bit2mask(WHITE0BIT, WHITE1BIT)

#define iswhite(x) testbits((x)->gch.marked, WHITEBITS)
#define isblack(x) testbit((x)->gch.marked, BLACKBIT)
#define isgray(x)  (!testbits((x)->gch.marked, WHITEBITS | bitmask(BLACKBIT)))

#define isold(x) testbit((x)->gch.marked, OLDBIT)

/* an object moved to the head of a list stops being old */
#define resetoldbit(o) resetbit((o)->gch.marked, OLDBIT)

#define otherwhite(g)  (g->currentwhite ^ WHITEBITS)
#define isdeadm(ow, m) (!(((m) ^ WHITEBITS) & (ow)))
#define isdead(g, v)   isdeadm(otherwhite(g), (v)->gch.marked)

#define changewhite(x) ((x)->gch.marked ^= WHITEBITS)
#define gray2black(x)  l_setbit((x)->gch.marked, BLACKBIT)

#define valiswhite(x) (iscollectable(x) && iswhite(gcvalue(x)))

#define luaC_white(g) cast(lu_byte, (g)->currentwhite &WHITEBITS)

#define luaC_condGC(L, c)                                                                          \
    {                                                                                              \
        if (G(L)->GCdebt > 0) { c; };                                                              \
        condchangemem(L);                                                                          \
    }
#define luaC_checkGC(L) luaC_condGC(L, luaC_step(L);)

#define luaC_barrier(L, p, v)                                                                      \
    {                                                                                              \
        if (valiswhite(v) && isblack(obj2gco(p))) luaC_barrier_(L, obj2gco(p), gcvalue(v));        \
    }

#define luaC_barrierback(L, p, v)                                                                  \
    {                                                                                              \
        if (valiswhite(v) && isblack(obj2gco(p))) luaC_barrierback_(L, p);                         \
    }

#define luaC_objbarrier(L, p, o)                                                                   \
    {                                                                                              \
        if (iswhite(obj2gco(o)) && isblack(obj2gco(p))) luaC_barrier_(L, obj2gco(p), obj2gco(o));  \
    }

#define luaC_objbarrierback(L, p, o)                                                               \
    {                                                                                              \
        if (iswhite(obj2gco(o)) && isblack(obj2gco(p))) luaC_barrierback_(L, p);                   \
    }

#define luaC_barrierproto(L, p, c)                                                                 \
    {                                                                                              \
        if (isblack(obj2gco(p))) luaC_barrierproto_(L, p, c);                                      \
    }

void luaC_freeallobjects(lua_State *L);
void luaC_step(lua_State *L);
void luaC_forcestep(lua_State *L);
void luaC_runtilstate(lua_State *L, int statesmask);
void luaC_fullgc(lua_State *L, int isemergency);
GCObject *luaC_newobj(lua_State *L, int tt, size_t sz, GCObject **list, int offset);
void luaC_barrier_(lua_State *L, GCObject *o, GCObject *v);
void luaC_barrierback_(lua_State *L, GCObject *o);
void luaC_barrierproto_(lua_State *L, Proto *p, Closure *c);
void luaC_checkfinalizer(lua_State *L, GCObject *o, Table *mt);
void luaC_checkupvalcolor(global_State *g, UpVal *uv);
void luaC_changemode(lua_State *L, int mode);

#endif
