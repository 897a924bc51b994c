// The player's entry: the engine's main loop driver runs the shell.
#include "engine/vull.h"

int main(int argc, char **argv) { return vull_main(argc, argv); }
