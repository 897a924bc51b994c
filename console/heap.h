// The VM's allocator hook: every block carries the weight the cart is charged
// for it, so the cart's memory limit counts objects by kind rather than by the
// host's layout; a second count of real bytes guards the host.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vm/zheap.h" // Z6_BLOCK_HEADER and the weights

constexpr int32_t Z6_SOFT_MEMORY_LIMIT = 0x204000;  // above: yield and collect between slices
constexpr int32_t Z6_HARD_MEMORY_LIMIT = 0x4000000; // above: requests refused
constexpr int64_t Z6_HOST_MEMORY_LIMIT = 0x4000000; // real bytes the VM may hold

// The lua_Alloc hook the console hands to lua_newstate: weighs, counts and
// limits every block of the cart's VM.
void *zibo6_lua_alloc(void *ud, void *ptr, size_t osize, size_t nsize);

// Copies a changed punycode setting into the 16 code tabs (the shell's update).
void update_punycode_encoding();
