// Stand-in for the terminal's runtime error call until console/term.cpp
// lands: raise the text on the thread, except while the reset glitch runs.
#include "console/state.h"
#include "console/term.h"

int zibo6_runtime_error(lua_State *L, const char *text) {
    if (pstate.reset_glitch_counter >= 1 || !L) return 0;
    lua_pushstring(L, text ? text : "");
    return lua_error(L);
}
