/*
** Buffered chunk input and the growable byte buffer used by the lexer and
** the binary-chunk loader.
*/
#ifndef Z6_LZIO_H
#define Z6_LZIO_H

#include <cstddef>

#include "vm/lua.h"
#include "vm/lmem.h"

#define EOZ (-1) /* end of stream */

typedef struct Zio ZIO;

/* Next byte of the stream (0-255), or EOZ. */
#define zgetc(z)                                                                                   \
    (((z)->n--) > 0 ? static_cast<int>(static_cast<unsigned char>(*(z)->p++)) : luaZ_fill(z))

/* Growable byte buffer (token text, string loading). */
typedef struct Mbuffer {
    char *buffer;    /* storage, null while size is 0 */
    size_t n;        /* bytes in use */
    size_t buffsize; /* bytes allocated */
} Mbuffer;

#define luaZ_initbuffer(L, buff) ((buff)->buffer = nullptr, (buff)->n = 0, (buff)->buffsize = 0)
#define luaZ_buffer(buff)        ((buff)->buffer)
#define luaZ_sizebuffer(buff)    ((buff)->buffsize)
#define luaZ_bufflen(buff)       ((buff)->n)
#define luaZ_resetbuffer(buff)   ((buff)->n = 0)
#define luaZ_buffremove(buff, i) ((buff)->n -= (i))

#define luaZ_resizebuffer(L, buff, size)                                                           \
    (luaM_reallocvector(L, (buff)->buffer, (buff)->buffsize, size, char), (buff)->buffsize = size)
#define luaZ_freebuffer(L, buff) luaZ_resizebuffer(L, buff, 0)

/* Grows the buffer to at least n bytes (never below 32); returns its storage. */
char *luaZ_openspace(lua_State *L, Mbuffer *buff, size_t n);
void luaZ_init(lua_State *L, ZIO *z, lua_Reader reader, void *data);
/* Copies n bytes into b, refilling as needed; returns the count still missing. */
size_t luaZ_read(ZIO *z, void *b, size_t n);
/* Asks the reader for a new block; returns its first byte or EOZ. */
int luaZ_fill(ZIO *z);

/* Chunk input stream. */
struct Zio {
    size_t n;      /* bytes still unread in the current block */
    const char *p; /* next byte of the current block */
    lua_Reader reader;
    void *data;   /* passed back to the reader */
    lua_State *L; /* passed to the reader too */
};

#endif
