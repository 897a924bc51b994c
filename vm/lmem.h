/*
** Script VM: the memory manager.  Every block goes through luaM_realloc_,
** which keeps the collector's debt and runs the emergency collection.
*/
#ifndef Z6_LMEM_H
#define Z6_LMEM_H

#include <cstddef>

#include "vm/llimits.h"
#include "vm/lua.h"

/* the preallocated error object of memory errors */
#define MEMERRMSG "not enough memory"

/*
** Vector sizes are checked against overflow before multiplying.  'e' is a
** sizeof, so the division folds at compile time; the +1 stops compilers
** from calling the test always false for one-byte elements.
*/
#define luaM_reallocv(L, b, on, n, e)                                                              \
    ((cast(size_t, (n)) + 1 > MAX_SIZET / (e)) ? (luaM_toobig(L), (void *)0)                       \
                                               : luaM_realloc_(L, (b), (on) * (e), (n) * (e)))

#define luaM_freemem(L, b, s)   luaM_realloc_(L, (b), (s), 0)
#define luaM_free(L, b)         luaM_realloc_(L, (b), sizeof(*(b)), 0)
#define luaM_freearray(L, b, n) luaM_reallocv(L, (b), n, 0, sizeof((b)[0]))

#define luaM_malloc(L, s)       luaM_realloc_(L, NULL, 0, (s))
#define luaM_new(L, t)          cast(t *, luaM_malloc(L, sizeof(t)))
#define luaM_newvector(L, n, t) cast(t *, luaM_reallocv(L, NULL, 0, n, sizeof(t)))

/* a new object: the old-size argument carries its kind for the hook */
#define luaM_newobject(L, tag, s) luaM_realloc_(L, NULL, tag, (s))

#define luaM_growvector(L, v, nelems, size, t, limit, e)                                           \
    if ((nelems) + 1 > (size)) ((v) = cast(t *, luaM_growaux_(L, v, &(size), sizeof(t), limit, e)))

#define luaM_reallocvector(L, v, oldn, n, t)                                                       \
    ((v) = cast(t *, luaM_reallocv(L, v, oldn, n, sizeof(t))))

/* shrinks vector v from oldn to n elements; false (v untouched) when refused */
#define luaM_tryshrinkvector(L, v, oldn, n, t)                                                     \
    luaM_tryshrink_(L, reinterpret_cast<void **>(&(v)), (oldn) * sizeof(t), (n) * sizeof(t))

l_noret luaM_toobig(lua_State *L);
bool luaM_tryshrink_(lua_State *L, void **block, size_t oldsize, size_t size);

/* reached through the macros above, which work out the byte sizes */
void *luaM_realloc_(lua_State *L, void *block, size_t oldsize, size_t size);
void *luaM_growaux_(lua_State *L, void *block, int *size, size_t size_elem, int limit,
                    const char *what);

#endif
