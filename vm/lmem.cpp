/*
** Script VM: the memory manager.
** All blocks go through the state's allocator hook here, so that the
** collector's debt stays exact and a refused request gets one emergency
** collection before it becomes a memory error.
*/
#include "vm/lmem.h"

#include <cstdio>

#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lgc.h"
#include "vm/lstate.h"

#define MINSIZEARRAY 4

void *luaM_growaux_(lua_State *L, void *block, int *size, size_t size_elems, int limit,
                    const char *what) {
    void *newblock;
    int newsize;
    if (*size >= limit / 2) {
        if (*size >= limit) {
            /* the limit is printed as a C integer: "%d" would read a 16.16 value */
            char lim[24];
            std::snprintf(lim, sizeof(lim), "%d", limit);
            luaG_runerror(L, "too many %s (limit is %s)", what, lim);
        }
        newsize = limit;
    } else {
        newsize = (*size) * 2;
        if (newsize < MINSIZEARRAY) newsize = MINSIZEARRAY;
    }
    newblock = luaM_reallocv(L, block, *size, newsize, size_elems);
    *size = newsize;
    return newblock;
}

l_noret luaM_toobig(lua_State *L) { luaG_runerror(L, "memory allocation error: block too big"); }

/* A refused request: the emergency collection, one retry, else the error.
   Out of line, so that the common path keeps no registers for it. */
[[gnu::noinline, gnu::cold]] static void *realloc_refused(lua_State *L, void *block, size_t osize,
                                                         size_t nsize) {
    global_State *g = G(L);
    void *newblock = NULL;
    if (g->gcrunning) {
        luaC_fullgc(L, 1);
        newblock = (*g->frealloc)(g->ud, block, osize, nsize);
    }
    if (newblock == NULL) luaD_throw(L, LUA_ERRMEM);
    return newblock;
}

/*
** The one path to the hook.  Size 0 frees.  A refused request, a shrink
** included, gets one emergency collection and a retry (unless the
** collector is stopped), then raises the memory error.
*/
void *luaM_realloc_(lua_State *L, void *block, size_t osize, size_t nsize) {
    global_State *g = G(L);
    size_t realosize = (block) ? osize : 0;
    if (nsize == 0) { /* a free never fails: the hook is the last thing done */
        g->GCdebt -= static_cast<l_mem>(realosize);
        return (*g->frealloc)(g->ud, block, osize, 0);
    }
    void *newblock = (*g->frealloc)(g->ud, block, osize, nsize);
    if (l_unlikely(newblock == NULL)) newblock = realloc_refused(L, block, osize, nsize);
    g->GCdebt += static_cast<l_mem>(nsize) - static_cast<l_mem>(realosize);
    return newblock;
}

/*
** A shrink that must not raise: the collector's own shrinks (thread stacks,
** the string table) and those of error recovery.  When the hook refuses,
** the caller keeps the old block at its old size, so neither the debt nor
** a hook's running total drifts; no emergency collection, which could
** re-enter a collector step.
*/
bool luaM_tryshrink_(lua_State *L, void **block, size_t osize, size_t nsize) {
    global_State *g = G(L);
    lua_assert(*block != NULL && 0 < nsize && nsize <= osize);
    void *newblock = (*g->frealloc)(g->ud, *block, osize, nsize);
    if (newblock == NULL) return false;
    *block = newblock;
    g->GCdebt -= static_cast<l_mem>(osize - nsize);
    return true;
}
