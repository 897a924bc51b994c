/*
** Script VM: error raising, the runtime line and the debug interface.
*/
#ifndef Z6_LDEBUG_H
#define Z6_LDEBUG_H

#include "vm/lstate.h"

/* savedpc already points past the running instruction */
#define pcRel(pc, p) (cast(int, (pc) - (p)->code) - 1)

#define getfuncline(f, pc) (((f)->lineinfo) ? (f)->lineinfo[pc] : 0)

#define resethookcount(L) (L->hookcount = L->basehookcount)

#define ci_func(ci) (clLvalue((ci)->func))

/* line of the Lua function that raised the last runtime error (no prefix
   is put on the message itself) */
extern int zibo6_runtime_line;

[[noreturn]] void luaG_typeerror(lua_State *L, const TValue *o, const char *opname);
[[noreturn]] void luaG_concaterror(lua_State *L, StkId p1, StkId p2);
[[noreturn]] void luaG_aritherror(lua_State *L, const TValue *p1, const TValue *p2);
[[noreturn]] void luaG_ordererror(lua_State *L, const TValue *p1, const TValue *p2);
[[noreturn]] void luaG_runerror(lua_State *L, const char *fmt, ...);
[[noreturn]] void luaG_errormsg(lua_State *L);

/* line within its code tab / tab number of a line of the joined program,
   as whole 16.16 numbers */
lua_Number get_zibo6_line(int line);
lua_Number get_zibo6_tab(int line);

#endif
