// Stand-in for the shell's frame composition hook until it lands: the
// extended-palette glitch is only counted.
#include "console/shell_hooks.h"

int z6_standin_extpal_glitches = 0;

void activate_extpal_glitch() { z6_standin_extpal_glitches++; }
