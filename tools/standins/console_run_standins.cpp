// Stand-ins for the services running a cart calls in pieces not built yet.
#include "tools/standins/run_standins.h"

#include <cstdio>
#include <cstring>

#include "console/state.h"
#include "console/term.h"
#include "platform/system.h"

void z6_standin_clear_extpal_glitch() {}
void z6_standin_update_paused_menu() {}
void z6_standin_run_config(const char *) {}
void z6_standin_show_message(const char *text, int ms) {
    std::snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    (void)ms;
}
int z6_standin_load_embedded_cart(const char *) { return 1; }
