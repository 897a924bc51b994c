// The attach call of the fuzz targets that run no list of entries (fuzz_print,
// the VM's fuzz_load and fuzz_run): they link the whole stack.
#include "shell/zibo6.h"
#include "tools/fuzz/hostile_inputs.h"

void hostile_attach() { zibo6_attach_shell(); }
