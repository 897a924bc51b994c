// Programs that test the layers as they are before any attach call.
#include "tests/support/attach.h"

void z6_attach_layers() {}
