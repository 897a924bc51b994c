// The player's entry: the engine's main loop driver runs the shell.
#include "console/run.h"
#include "console/state.h"
#include "engine/vull.h"

int main(int argc, char **argv) {
    vull_main(argc, argv);
    // A headless run tells its caller when the cart failed to start or stopped with an error.
    return (pstate.headless && zrun.run_failed) ? 1 : 0;
}
