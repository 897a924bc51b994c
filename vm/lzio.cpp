/*
** Buffered chunk input.
*/
#include "vm/lzio.h"

#include <cstring>

#include "vm/llimits.h"
#include "vm/lmem.h"
#include "vm/lstate.h"

int luaZ_fill(ZIO *z) {
    size_t size;
    lua_State *L = z->L;
    lua_unlock(L);
    const char *buff = z->reader(L, z->data, &size);
    lua_lock(L);
    if (buff == nullptr || size == 0) {
        z->n = 0; /* zgetc counted it down past zero: later reads must ask again */
        return EOZ;
    }
    z->n = size - 1; /* the first byte is consumed here */
    z->p = buff;
    return static_cast<int>(static_cast<unsigned char>(*(z->p++)));
}

void luaZ_init(lua_State *L, ZIO *z, lua_Reader reader, void *data) {
    z->L = L;
    z->reader = reader;
    z->data = data;
    z->n = 0;
    z->p = nullptr;
}

size_t luaZ_read(ZIO *z, void *b, size_t n) {
    char *dst = static_cast<char *>(b);
    while (n) {
        if (z->n == 0) {
            if (luaZ_fill(z) == EOZ) return n; /* bytes still missing */
            z->n++;                            /* luaZ_fill consumed the first byte: put it back */
            z->p--;
        }
        size_t m = (n <= z->n) ? n : z->n;
        std::memcpy(dst, z->p, m);
        z->n -= m;
        z->p += m;
        dst += m;
        n -= m;
    }
    return 0;
}

char *luaZ_openspace(lua_State *L, Mbuffer *buff, size_t n) {
    if (n > buff->buffsize) {
        if (n < LUA_MINBUFFER) n = LUA_MINBUFFER;
        /* the buffer is read and written one past n in places */
        if (n >= MAX_SIZET - 2) luaM_toobig(L);
        luaZ_resizebuffer(L, buff, n);
    }
    return buff->buffer;
}
