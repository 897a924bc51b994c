// Programs that link the whole stack: every layer attached as in the player.
#include "shell/zibo6.h"
#include "tests/support/attach.h"

void z6_attach_layers() { zibo6_attach_shell(); }
