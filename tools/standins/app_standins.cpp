// Stand-in application: the four callbacks of a minimal program on the engine.
// Kept in a file of its own so a program defining its own callbacks never
// pulls these in from the library.
#include "engine/vull.h"

void vull_main_init(int, char **) {
    vull_set_application_title("engine_standin");
    vull_init();
}

void vull_main_update() {}

void vull_main_draw() {}

void vull_main_exit() { vull_exit(); }
