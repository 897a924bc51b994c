/*
** Binary chunks: writer (ldump.cpp) and reader (lundump.cpp).
**
** Chunks carry this build's sizeof(size_t) in their header, so a chunk
** written by a 64-bit build is refused by a 32-bit one and the other way
** round: binary chunks are not portable between builds. The reader does not
** verify the bytecode; binary chunks are trusted input only.
*/
#ifndef Z6_LUNDUMP_H
#define Z6_LUNDUMP_H

#include "vm/lobject.h"
#include "vm/lzio.h"

/* bytes after the header's fixed fields, to catch text-mode conversions */
#define LUAC_TAIL "\x19\x93\r\n\x1a\n"

/* size of the header written by luaU_header */
#define LUAC_HEADERSIZE                                                                            \
    (sizeof(LUA_SIGNATURE) - sizeof(char) + 2 + 6 + sizeof(LUAC_TAIL) - sizeof(char))

static_assert(LUAC_HEADERSIZE == 18, "binary chunk header size");

/* Loads a binary chunk whose first byte the caller has already consumed. */
Closure *luaU_undump(lua_State *L, ZIO *Z, Mbuffer *buff, const char *name);

/* Fills h (LUAC_HEADERSIZE bytes) with this build's header. */
void luaU_header(lu_byte *h);

/* Writes function f as a binary chunk; returns the first non-zero writer status. */
int luaU_dump(lua_State *L, const Proto *f, lua_Writer w, void *data, int strip);

#endif
