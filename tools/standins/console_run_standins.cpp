// Stand-ins for the services running a cart calls in pieces not built yet.
#include "tools/standins/run_standins.h"

#include <cstdio>
#include <cstring>

#include "console/state.h"
#include "console/term.h"
#include "platform/system.h"

void z6_standin_record_video_frame() {}
void z6_standin_save_cdata() { pstate.cartdata_dirty = 0; }
void z6_standin_clear_cart_data_and_menu() {}
void z6_standin_hash_running_cart() {}
void z6_standin_clear_extpal_glitch() {}
void z6_standin_update_paused_menu() {}
void z6_standin_run_config(const char *) {}
void z6_standin_prefix_with_file_output_path(const char *name, char *out, size_t size) {
    vull_prefix_with_appdata_path(name, out, size);
}
int z6_standin_load_working_cart(const char *) { return 1; }
int z6_standin_load_embedded_cart(const char *) { return 1; }
