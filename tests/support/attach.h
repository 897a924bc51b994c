// The attach call of a test or benchmark program: what the player's main does
// for the layers the program links. Each program links one of the
// attach_*.cpp beside this file, and its main (test_main.cpp,
// bench/bench_main.cpp) calls it before anything else.
#pragma once

void z6_attach_layers();
