/*
** Script VM: metamethod events.
*/
#include "vm/ltm.h"

#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"

static const char udatatypename[] = "userdata";

LUAI_DDEF const char
    *const
        luaT_typenames_
            [LUA_TOTALTAGS] =
                {
                    "no value", "nil",   "boolean",  udatatypename, "number",
                    "string",   "table", "function", udatatypename, "thread",
                    "proto",    "upval" /* internal tags, never seen by scripts */
};

void luaT_init(lua_State *L) {
    static const char *const luaT_eventname[] = {
        /* ORDER TM */
        "__index", "__newindex", "__gc",   "__mode", "__len",    "__eq",   "__add",  "__sub",
        "__mul",   "__div",      "__mod",  "__pow",  "__and",    "__or",   "__xor",  "__shl",
        "__shr",   "__lshr",     "__rotl", "__rotr", "__not",    "__idiv", "__peek", "__peek2",
        "__peek4", "__unm",      "__lt",   "__le",   "__concat", "__call"};
    static_assert(sizeof(luaT_eventname) / sizeof(luaT_eventname[0]) == TM_N, "event names");
    for (int i = 0; i < TM_N; i++) {
        G(L)->tmname[i] = luaS_new(L, luaT_eventname[i]);
        luaS_fix(G(L)->tmname[i]); /* looked up on every metamethod access */
    }
}

/*
** Most metatables lack most events: a miss sets the event's bit in the
** table's flags so fasttm skips the lookup until the table changes.
*/
const TValue *luaT_gettm(Table *events, TMS event, TString *ename) {
    const TValue *tm = luaH_getstr(events, ename);
    lua_assert(event <= TM_EQ);
    if (ttisnil(tm)) {
        events->flags |= cast_byte(1u << event);
        return NULL;
    }
    return tm;
}

const TValue *luaT_gettmbyobj(lua_State *L, const TValue *o, TMS event) {
    Table *mt;
    switch (ttypenv(o)) {
    case LUA_TTABLE: mt = hvalue(o)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(o)->metatable; break;
    default: mt = G(L)->mt[ttypenv(o)];
    }
    return (mt ? luaH_getstr(mt, G(L)->tmname[event]) : luaO_nilobject);
}
