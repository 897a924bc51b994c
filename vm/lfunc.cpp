/*
** Script VM: function prototypes, closures and upvalues.
*/
#include "vm/lfunc.h"

#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lstate.h"

Closure *luaF_newCclosure(lua_State *L, int n) {
    Closure *c = &luaC_newobj(L, LUA_TCCL, sizeCclosure(n), NULL, 0)->cl;
    c->c.nupvalues = cast_byte(n);
    return c;
}

Closure *luaF_newLclosure(lua_State *L, int n) {
    Closure *c = &luaC_newobj(L, LUA_TLCL, sizeLclosure(n), NULL, 0)->cl;
    c->l.p = NULL;
    c->l.nupvalues = cast_byte(n);
    while (n--) c->l.upvals[n] = NULL;
    return c;
}

UpVal *luaF_newupval(lua_State *L) {
    UpVal *uv = &luaC_newobj(L, LUA_TUPVAL, sizeof(UpVal), NULL, 0)->uv;
    uv->v = &uv->u.value;
    setnilvalue(uv->v);
    return uv;
}

/*
** The open upvalue of stack slot 'level', made when missing.  The thread's
** list is sorted by level (highest first).  A new upvalue is allocated
** before its place in the list is looked up: an emergency collection during
** the allocation may free dead open upvalues of this very list.
*/
UpVal *luaF_findupval(lua_State *L, StkId level) {
    global_State *g = G(L);
    GCObject **pp = &L->openupval;
    UpVal *p;
    while (*pp != NULL && (p = gco2uv(*pp))->v >= level) {
        GCObject *o = obj2gco(p);
        lua_assert(p->v != &p->u.value);
        if (p->v == level) {
            if (isdead(g, o)) /* unreached so far this cycle, but wanted again */
                changewhite(o);
            return p;
        }
        pp = &p->next;
    }
    /* not found: create a new one, unlinked, then find its place */
    GCObject *detached = NULL;
    UpVal *uv = &luaC_newobj(L, LUA_TUPVAL, sizeof(UpVal), &detached, 0)->uv;
    pp = &L->openupval;
    while (*pp != NULL && gco2uv(*pp)->v > level) pp = &gco2uv(*pp)->next;
    uv->next = *pp;
    *pp = obj2gco(uv);
    uv->v = level;
    uv->u.l.prev = &g->uvhead;
    uv->u.l.next = g->uvhead.u.l.next;
    uv->u.l.next->u.l.prev = uv;
    g->uvhead.u.l.next = uv;
    lua_assert(uv->u.l.next->u.l.prev == uv && uv->u.l.prev->u.l.next == uv);
    return uv;
}

static void unlinkupval(UpVal *uv) {
    lua_assert(uv->u.l.next->u.l.prev == uv && uv->u.l.prev->u.l.next == uv);
    uv->u.l.next->u.l.prev = uv->u.l.prev;
    uv->u.l.prev->u.l.next = uv->u.l.next;
}

void luaF_freeupval(lua_State *L, UpVal *uv) {
    if (uv->v != &uv->u.value) unlinkupval(uv);
    luaM_free(L, uv);
}

/* closes every open upvalue at or above 'level': values move into them */
void luaF_close(lua_State *L, StkId level) {
    UpVal *uv;
    global_State *g = G(L);
    while (L->openupval != NULL && (uv = gco2uv(L->openupval))->v >= level) {
        GCObject *o = obj2gco(uv);
        lua_assert(!isblack(o) && uv->v != &uv->u.value);
        L->openupval = uv->next;
        if (isdead(g, o)) /* no closure holds it any more */
            luaF_freeupval(L, uv);
        else { /* own the value and join the ordinary object list */
            unlinkupval(uv);
            setobj(L, &uv->u.value, uv->v);
            uv->v = &uv->u.value;
            gch(o)->next = g->allgc;
            g->allgc = o;
            luaC_checkupvalcolor(g, uv);
        }
    }
}

Proto *luaF_newproto(lua_State *L) {
    Proto *f = &luaC_newobj(L, LUA_TPROTO, sizeof(Proto), NULL, 0)->p;
    f->k = NULL;
    f->sizek = 0;
    f->p = NULL;
    f->sizep = 0;
    f->code = NULL;
    f->cache = NULL;
    f->sizecode = 0;
    f->lineinfo = NULL;
    f->sizelineinfo = 0;
    f->upvalues = NULL;
    f->sizeupvalues = 0;
    f->numparams = 0;
    f->is_vararg = 0;
    f->maxstacksize = 0;
    f->locvars = NULL;
    f->sizelocvars = 0;
    f->linedefined = 0;
    f->lastlinedefined = 0;
    f->source = NULL;
    f->gclist = NULL;
    return f;
}

void luaF_freeproto(lua_State *L, Proto *f) {
    luaM_freearray(L, f->code, f->sizecode);
    luaM_freearray(L, f->p, f->sizep);
    luaM_freearray(L, f->k, f->sizek);
    luaM_freearray(L, f->lineinfo, f->sizelineinfo);
    luaM_freearray(L, f->locvars, f->sizelocvars);
    luaM_freearray(L, f->upvalues, f->sizeupvalues);
    luaM_free(L, f);
}

/* name of the n-th local variable active at instruction pc, or null */
const char *luaF_getlocalname(const Proto *f, int local_number, int pc) {
    for (int i = 0; i < f->sizelocvars && f->locvars[i].startpc <= pc; i++) {
        if (pc < f->locvars[i].endpc) {
            local_number--;
            if (local_number == 0) return getstr(f->locvars[i].varname);
        }
    }
    return NULL;
}
