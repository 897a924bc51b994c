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
Z6_STANDIN(z6_save)
Z6_STANDIN(z6_reboot)
Z6_STANDIN(z6_shutdown)
Z6_STANDIN(z6_info)
Z6_STANDIN(z6_help)
Z6_STANDIN(z6_folder)
Z6_STANDIN(z6_ls)
Z6_STANDIN(z6_cd)
Z6_STANDIN(z6_mkdir)
Z6_STANDIN(z6_backup)
Z6_STANDIN(z6_install_demos)
Z6_STANDIN(z6_install_games)
Z6_STANDIN(z6_browse)
Z6_STANDIN(z6_export)
Z6_STANDIN(z6_import)
Z6_STANDIN(z6_login)
Z6_STANDIN(z6_logout)
Z6_STANDIN(z6_bbsreq)
Z6_STANDIN(z6_scoresub)
Z6_STANDIN(z6_radio)
Z6_STANDIN(z6_set_draw_slice)


