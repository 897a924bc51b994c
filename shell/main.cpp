// The player's entry: the engine's main loop driver runs the shell.
#include "console/run.h"
#include "cart/state.h"
#include "engine/vull.h"
#include "shell/compose.h"
#include "shell/zibo6.h"

int main(int argc, char **argv) {
    zibo6_attach_shell();
    vull_set_app_funcs({vull_main_init, vull_main_update, vull_main_draw, vull_main_exit});
    int status = vull_main(argc, argv); // a run SIGTERM or SIGINT stopped
    if (status) return status;
    // A headless run tells its caller when the cart failed to start or stopped with an error.
    return (pstate.headless && zrun.run_failed) ? 1 : 0;
}
