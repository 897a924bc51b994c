// The reset glitch's one-time corruption of console memory.
#include "shell/zibo6.h"

void glitch_memory() {}
