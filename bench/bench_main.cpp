// The main of every benchmark program: the layers it links are attached first,
// as the player's main attaches them.
#include <benchmark/benchmark.h>

#include "tests/support/attach.h"

int main(int argc, char **argv) {
    z6_attach_layers();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
