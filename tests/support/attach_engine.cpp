// Programs that link the engine (and the VM, which fills nothing below it).
#include "engine/vull.h"
#include "tests/support/attach.h"

void z6_attach_layers() { vull_engine_attach(); }
