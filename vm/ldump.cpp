/*
** Binary chunk writer. Multi-byte fields are written little-endian
** whatever the host, sizes with this build's sizeof(size_t).
*/
#include <cstring>

#include "vm/lobject.h"
#include "vm/lstate.h"
#include "vm/lundump.h"

namespace {

struct DumpState {
    lua_State *L;
    lua_Writer writer; /* caller's writer */
    void *data;        /* its data */
    int strip;         /* leave out debug information */
    int status;        /* first non-zero writer status */
};

void DumpBlock(const void *b, size_t size, DumpState *D) {
    if (D->status == 0 && size > 0) {
        lua_unlock(D->L);
        D->status = (*D->writer)(D->L, b, size, D->data);
        lua_lock(D->L);
    }
}

/* an unsigned value of n bytes, lowest byte first */
void DumpLE(uint64_t v, size_t n, DumpState *D) {
    unsigned char b[8];
    for (size_t i = 0; i < n; i++) b[i] = static_cast<unsigned char>(v >> (8 * i));
    DumpBlock(b, n, D);
}

void DumpChar(int y, DumpState *D) {
    unsigned char c = static_cast<unsigned char>(y);
    DumpBlock(&c, 1, D);
}

void DumpInt(int x, DumpState *D) { DumpLE(static_cast<uint32_t>(x), sizeof(int), D); }

void DumpSize(size_t x, DumpState *D) { DumpLE(x, sizeof(size_t), D); }

void DumpNumber(lua_Number x, DumpState *D) {
    DumpLE(static_cast<uint32_t>(x), sizeof(lua_Number), D);
}

/* length + 1, the bytes and a terminating zero; a null string is size 0 */
void DumpString(const TString *s, DumpState *D) {
    if (s == nullptr) {
        DumpSize(0, D);
        return;
    }
    size_t size = s->tsv.len + 1;
    DumpSize(size, D);
    DumpBlock(getstr(s), size, D);
}

void DumpFunction(const Proto *f, DumpState *D);

void DumpCode(const Proto *f, DumpState *D) {
    DumpInt(f->sizecode, D);
    for (int i = 0; i < f->sizecode; i++) DumpLE(f->code[i], sizeof(Instruction), D);
}

void DumpConstants(const Proto *f, DumpState *D) {
    DumpInt(f->sizek, D);
    for (int i = 0; i < f->sizek; i++) {
        const TValue *o = &f->k[i];
        DumpChar(ttypenv(o), D);
        switch (ttypenv(o)) {
        case LUA_TNIL: break;
        case LUA_TBOOLEAN: DumpChar(bvalue(o), D); break;
        case LUA_TNUMBER: DumpNumber(nvalue(o), D); break;
        case LUA_TSTRING: DumpString(rawtsvalue(o), D); break;
        default: lua_assert(0); /* constants are only these four types */
        }
    }
    DumpInt(f->sizep, D);
    for (int i = 0; i < f->sizep; i++) DumpFunction(f->p[i], D);
}

void DumpUpvalues(const Proto *f, DumpState *D) {
    DumpInt(f->sizeupvalues, D);
    for (int i = 0; i < f->sizeupvalues; i++) {
        DumpChar(f->upvalues[i].instack, D);
        DumpChar(f->upvalues[i].idx, D);
    }
}

void DumpDebug(const Proto *f, DumpState *D) {
    DumpString(D->strip ? nullptr : f->source, D);
    int n = D->strip ? 0 : f->sizelineinfo;
    DumpInt(n, D);
    for (int i = 0; i < n; i++) DumpInt(f->lineinfo[i], D);
    n = D->strip ? 0 : f->sizelocvars;
    DumpInt(n, D);
    for (int i = 0; i < n; i++) {
        DumpString(f->locvars[i].varname, D);
        DumpInt(f->locvars[i].startpc, D);
        DumpInt(f->locvars[i].endpc, D);
    }
    n = D->strip ? 0 : f->sizeupvalues;
    DumpInt(n, D);
    for (int i = 0; i < n; i++) DumpString(f->upvalues[i].name, D);
}

void DumpFunction(const Proto *f, DumpState *D) {
    DumpInt(f->linedefined, D);
    DumpInt(f->lastlinedefined, D);
    DumpChar(f->numparams, D);
    DumpChar(f->is_vararg, D);
    DumpChar(f->maxstacksize, D);
    DumpCode(f, D);
    DumpConstants(f, D);
    DumpUpvalues(f, D);
    DumpDebug(f, D);
}

} // namespace

void luaU_header(lu_byte *h) {
    std::memcpy(h, LUA_SIGNATURE, sizeof(LUA_SIGNATURE) - 1);
    h += sizeof(LUA_SIGNATURE) - 1;
    *h++ = 0x52; /* format version */
    *h++ = 0;    /* format variant */
    *h++ = 1;    /* little-endian (we always write it so) */
    *h++ = static_cast<lu_byte>(sizeof(int));
    *h++ =
        static_cast<lu_byte>(sizeof(size_t)); /* 4 or 8: chunks are not portable between builds */
    *h++ = static_cast<lu_byte>(sizeof(Instruction));
    *h++ = static_cast<lu_byte>(sizeof(lua_Number));
    *h++ = 1; /* numbers are integral (16.16 fixed point) */
    std::memcpy(h, LUAC_TAIL, sizeof(LUAC_TAIL) - 1);
}

int luaU_dump(lua_State *L, const Proto *f, lua_Writer w, void *data, int strip) {
    DumpState D;
    D.L = L;
    D.writer = w;
    D.data = data;
    D.strip = strip;
    D.status = 0;
    lu_byte h[LUAC_HEADERSIZE];
    luaU_header(h);
    DumpBlock(h, LUAC_HEADERSIZE, &D);
    DumpFunction(f, &D);
    return D.status;
}
