// Stand-ins for the console runtime's services that the script VM calls
// (cycle charges, the three peeks and the allocator hook).  Tests and tools
// link them until the console runtime provides the real ones; their state is
// open for tests to set up and inspect.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vm/llimits.h"

// The console's 64 KB memory map as the peeks see it.
extern uint8_t z6_standin_memory[0x10000];

// Cycles charged through spend_cpu since the last reset (the console's own
// counter of cycles spent since the last flip).
extern int z6_standin_cpu_spent;

// Allocator hook state.
constexpr int Z6_STANDIN_SOFT_LIMIT = 0x204000;  // above: memory pressure, yield requested
constexpr int Z6_STANDIN_HARD_LIMIT = 0x4000000; // above: requests refused
extern int64_t z6_standin_alloc_total;           // running total of block weights
extern int64_t z6_standin_alloc_base;            // the console's base amount added to the total
extern int z6_standin_memory_pressure;           // set once the soft limit was passed
extern int z6_standin_alloc_failed;              // set when a request was refused
extern int z6_standin_uncounted;                 // while set, new kind-0 blocks weigh nothing

// Clears the counters and flags above (not the memory map or the tabs).
void z6_standin_reset(void);
