// Weighed blocks: the core of the VM's allocator hooks (the console's and z6vm's).
// Every block carries, in a header word in front of it, the weight the cart is
// charged for it, so that the memory limit counts objects by kind rather than by
// the host's layout. The blocks come from the engine's guarded allocator; the
// hooks keep the running totals and apply their own limits.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t Z6_BLOCK_HEADER = 8; // weight word, padded so blocks stay 8-byte aligned

// The weight a new block of the given VM type tag and size is charged; arrays and
// buffers (tag 0) weigh nothing while a program compiles.
uint32_t zheap_block_weight(size_t tag, size_t nsize, bool compiling);

// A new block (block null: osize is the VM's type tag) or a resize to nsize bytes (> 0).
// Null when the engine refuses: nothing is written and the old block stays as it was.
// Else *weight_change is the new weight minus the old one.
void *zheap_resize(void *block, size_t osize, size_t nsize, bool compiling, int32_t *weight_change);

// Releases a block made by zheap_resize; returns the weight it carried.
uint32_t zheap_free(void *block);
