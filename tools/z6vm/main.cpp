#include "engine/vull.h"
#include "z6vm.h"

int main(int argc, char **argv) {
    vull_engine_attach(); // the VM has no hooks of its own to fill: it runs alone
    return z6vm_main(argc, argv);
}
