// Linked into test and benchmark programs of the console, the cart formats and
// the shell: before main, the layers get their hooks as the player's start-up
// hands them down (zibo6_attach_shell), so that the code under test calls what
// it calls in the player.
#include "shell/zibo6.h"

[[maybe_unused]] static const bool attached = (zibo6_attach_shell(), true);
