// Undo stack of byte patches: a history of serialised states where only the
// current one is kept whole and every other is a patch against its neighbour.
#pragma once
#include <cstdint>
#include "engine/mem.h"

struct vull_undo_stack {
    cbuffer *redo_patches;  // patches for redo, each followed by its 32-bit length
    cbuffer *undo_patches;  // patches for undo, same layout
    cbuffer *current_state; // the current state, whole
    cbuffer *last_patch;    // the patch most recently applied by undo or redo
    int32_t tail_size;      // trailing state bytes every patch stores whole (0 at creation)
};

vull_undo_stack *vull_create_undo_stack();            // null when memory cannot be had
void vull_destroy_undo_stack(vull_undo_stack *stack); // accepts null
void vull_clear_undo_stack(vull_undo_stack *stack);   // accepts null

// Takes ownership of state in every case. compare_len > 0 compares that many
// leading bytes, otherwise state length + compare_len (0: all). Returns 1
// when a patch was recorded, else 0.
int vull_push_undo_state(cbuffer *state, vull_undo_stack *stack, int compare_len);

// Step back or forward; the state now current (owned by the stack) or null.
cbuffer *vull_undo(vull_undo_stack *stack);
cbuffer *vull_redo(vull_undo_stack *stack);

// A new buffer holding a copy of the last patch of a patch buffer; null for a
// null or empty buffer.
cbuffer *vull_undo_peek_patch(cbuffer *patches);

// Patch turning state a into state b (the stack's helpers, exposed for tests).
cbuffer *generate_patch(cbuffer *a, cbuffer *b, int tail_size);
cbuffer *apply_patch(cbuffer *patch, cbuffer *a);
