#include "z6vm.h"

int main(int argc, char **argv) { return z6vm_main(argc, argv); }
