// Console runtime: stand-ins for the API bindings not built yet.  Each raises
// a runtime error that names it, so a cart that reaches one stops with a
// clear message.  Delete a line here when its real binding lands (a fast
// call also turns its row in api.cpp from Z6_FAST_STANDIN into Z6_FAST).
#include "console/api.h"

namespace {
int standin_error(lua_State *L, const char *name) {
    lua_pushfstring(L, "%s is a stand-in: not built yet", name);
    return lua_error(L);
}
} // namespace

#define Z6_STANDIN(fn)                                                                             \
    int fn(lua_State *L) { return standin_error(L, #fn); }

// Frame, run and system
Z6_STANDIN(z6_cartdata)
Z6_STANDIN(z6_dget)
Z6_STANDIN(z6_dset)


