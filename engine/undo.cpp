// Undo stack of byte patches.
//
// A patch turning state A into state B holds, little-endian:
//   head length L | prefix P | suffix S | mask[(M+7)/8] | changed bytes | tail[t] | t
// where the heads are the states without their last t bytes and M = L - P - S.
// A patch buffer holds patches back to back, each followed by its length, so
// the newest one is found from the end.
#include "engine/undo.h"
#include "engine/disk.h"

#include <cassert>
#include <cstring>

namespace {

constexpr int PATCH_HEADER = 12; // L, P, S
constexpr int PATCH_MIN = PATCH_HEADER + 4;

int32_t read_le32(const uint8_t *p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                     (uint32_t)p[3] << 24);
}

const uint8_t *bytes_of(cbuffer *b) { return b && b->data ? b->data : (const uint8_t *)""; }
int length_of(cbuffer *b) { return b ? b->length : 0; }

// Appends a patch and its length at the end of a patch buffer; 0 on failure,
// with the buffer as it was (a patch without its length would hide the others).
int append_patch(cbuffer *patches, cbuffer *patch) {
    if (!patches || !patch) return 0;
    int old_length = patches->length;
    patches->position = old_length;
    if ((patch->length > 0 && !cbuffer_add_data(patches, patch->data, patch->length)) ||
        vull_fwrite_int32(patch->length, patches) != 4) {
        patches->length = patches->position = old_length;
        return 0;
    }
    return 1;
}

// Length of the last patch of a patch buffer, or -1 when it holds none.
int last_patch_length(cbuffer *patches) {
    if (!patches || patches->length < 4) return -1;
    int len = read_le32(patches->data + patches->length - 4);
    assert(len >= 0 && len <= patches->length - 4 && "patch buffer is corrupt");
    if (len < 0 || len > patches->length - 4) return -1;
    return len;
}

// Takes the last patch off a patch buffer into a new buffer.
cbuffer *pop_patch(cbuffer *patches) {
    int len = last_patch_length(patches);
    if (len < 0) return nullptr;
    cbuffer *patch = vull_create_buffer(len);
    if (!patch) return nullptr;
    int start = patches->length - 4 - len;
    if (len > 0 && !cbuffer_add_data(patch, patches->data + start, len)) {
        vull_destroy_buffer(patch);
        return nullptr;
    }
    patches->length = start;
    patches->position = start;
    return patch;
}

cbuffer *copy_buffer(cbuffer *src) {
    cbuffer *b = vull_create_buffer(length_of(src));
    if (b && length_of(src) > 0 && !cbuffer_add_data(b, src->data, src->length)) {
        vull_destroy_buffer(b);
        return nullptr;
    }
    return b;
}

/*
** One step of undo or redo: the newest patch of `from` turns the current
** state into the neighbour; a patch back to the current state goes onto `to`.
*/
cbuffer *step(vull_undo_stack *stack, cbuffer *from, cbuffer *to) {
    if (!stack || last_patch_length(from) < 0) return nullptr;
    cbuffer *patch = pop_patch(from);
    if (!patch) return nullptr;
    cbuffer *previous = apply_patch(patch, stack->current_state);
    if (!previous) {
        append_patch(from, patch); // put it back: nothing is lost
        vull_destroy_buffer(patch);
        return nullptr;
    }
    vull_destroy_buffer(stack->last_patch);
    stack->last_patch = patch;
    cbuffer *back = generate_patch(previous, stack->current_state, stack->tail_size);
    append_patch(to, back);
    vull_destroy_buffer(back);
    vull_destroy_buffer(stack->current_state);
    stack->current_state = previous;
    return previous;
}

} // namespace

vull_undo_stack *vull_create_undo_stack() {
    auto *s = (vull_undo_stack *)vull_calloc((int)sizeof(vull_undo_stack));
    if (!s) return nullptr;
    s->redo_patches = vull_create_buffer(0);
    s->undo_patches = vull_create_buffer(0);
    s->current_state = vull_create_buffer(0);
    s->last_patch = vull_create_buffer(0);
    if (!s->redo_patches || !s->undo_patches || !s->current_state || !s->last_patch) {
        vull_destroy_undo_stack(s);
        return nullptr;
    }
    return s;
}

void vull_destroy_undo_stack(vull_undo_stack *stack) {
    if (!stack) return;
    vull_destroy_buffer(stack->redo_patches);
    vull_destroy_buffer(stack->undo_patches);
    vull_destroy_buffer(stack->current_state);
    vull_destroy_buffer(stack->last_patch);
    vull_free(stack);
}

void vull_clear_undo_stack(vull_undo_stack *stack) {
    if (!stack) return;
    vull_clear_buffer(stack->redo_patches);
    vull_clear_buffer(stack->undo_patches);
    vull_clear_buffer(stack->current_state);
    vull_clear_buffer(stack->last_patch);
}

int vull_push_undo_state(cbuffer *state, vull_undo_stack *stack, int compare_len) {
    if (!state) return 0;
    if (!stack) {
        vull_destroy_buffer(state);
        return 0;
    }
    int t = stack->tail_size;
    // A state shorter than the tail cannot be patched: refuse it rather than
    // record a patch that would read outside the states.
    if (state->length < t) {
        vull_destroy_buffer(state);
        return 0;
    }
    cbuffer *cur = stack->current_state;
    // A new or cleared stack takes the state as it is. An empty state with a
    // history behind it is an ordinary state: replacing it without a patch
    // would leave the newest patch pointing at a state that is gone.
    bool fresh = !cur || (cur->length == 0 && length_of(stack->undo_patches) == 0 &&
                          length_of(stack->redo_patches) == 0);
    // A current state too short for a tail set after it was pushed cannot be
    // patched: the history starts afresh.
    if (fresh || cur->length < t) {
        vull_clear_buffer(stack->undo_patches);
        vull_clear_buffer(stack->redo_patches);
        vull_destroy_buffer(cur);
        stack->current_state = state;
        return 0;
    }
    if (state->length == cur->length) {
        int64_t n = compare_len > 0 ? compare_len : (int64_t)compare_len + state->length;
        if (n > state->length) n = state->length; // never compare past the ends
        if (n < 0) n = 0;
        if (n == 0 || std::memcmp(state->data, cur->data, (size_t)n) == 0) {
            vull_destroy_buffer(state);
            return 0;
        }
    }
    cbuffer *patch = generate_patch(state, cur, t);
    if (!patch || !append_patch(stack->undo_patches, patch)) {
        // Without a patch back the history cannot reach the old state; keep it.
        vull_destroy_buffer(patch);
        vull_destroy_buffer(state);
        return 0;
    }
    vull_destroy_buffer(patch);
    vull_clear_buffer(stack->redo_patches);
    vull_destroy_buffer(cur);
    stack->current_state = state;
    return 1;
}

cbuffer *vull_undo(vull_undo_stack *stack) {
    return stack ? step(stack, stack->undo_patches, stack->redo_patches) : nullptr;
}

cbuffer *vull_redo(vull_undo_stack *stack) {
    return stack ? step(stack, stack->redo_patches, stack->undo_patches) : nullptr;
}

cbuffer *vull_undo_peek_patch(cbuffer *patches) {
    int len = last_patch_length(patches);
    if (len < 0 || patches->length == 0) return nullptr;
    cbuffer *patch = vull_create_buffer(len);
    if (patch && len > 0 &&
        !cbuffer_add_data(patch, patches->data + patches->length - 4 - len, len)) {
        vull_destroy_buffer(patch);
        return nullptr;
    }
    return patch;
}

cbuffer *generate_patch(cbuffer *a, cbuffer *b, int t) {
    const uint8_t *A = bytes_of(a), *B = bytes_of(b);
    int hA = length_of(a) - t, hB = length_of(b) - t;
    int n = hA < hB ? hA : hB;
    cbuffer *out = vull_create_buffer(64);
    if (!out || n < 0 || t < 0) return out;

    int P = 0;
    while (P < n && A[P] == B[P]) P++;
    // The suffix stops at half the shorter head (rounded up); it may overlap the prefix.
    int S = 0;
    if (n > 0 && A[hA - 1] == B[hB - 1]) {
        while (S < n && A[hA - 1 - S] == B[hB - 1 - S]) {
            S++;
            if (2 * S >= n) break;
        }
    }
    int M = hB - P - S;

    vull_fwrite_int32(hB, out);
    vull_fwrite_int32(P, out);
    vull_fwrite_int32(S, out);
    if (M > 0) {
        int mask_at = out->position;
        int mask_len = (M + 7) / 8;
        if (!cbuffer_add_data(out, nullptr, mask_len)) {
            vull_destroy_buffer(out);
            return nullptr;
        }
        for (int k = 0; k < M; k++) {
            int p = P + k;
            if (p >= hA || A[p] != B[p]) {
                out->data[mask_at + k / 8] |= (uint8_t)(1u << (k % 8));
                if (!cbuffer_add_uint8(out, B[p])) {
                    vull_destroy_buffer(out);
                    return nullptr;
                }
            }
        }
    }
    if ((t > 0 && !cbuffer_add_data(out, B + hB, t)) || vull_fwrite_int32(t, out) != 4) {
        vull_destroy_buffer(out);
        return nullptr;
    }
    return out;
}

/*
** Patches never leave memory, so their fields are trusted in release builds;
** the asserts pin the invariants that generate_patch guarantees. A patch too
** short to hold its fields (a state shorter than its tail) yields a copy of A.
*/
cbuffer *apply_patch(cbuffer *patch, cbuffer *a) {
    const uint8_t *A = bytes_of(a);
    int lenA = length_of(a);
    if (!patch || patch->length < PATCH_MIN) return copy_buffer(a);
    const uint8_t *p = patch->data;
    int t = read_le32(p + patch->length - 4);
    int L = read_le32(p), P = read_le32(p + 4), S = read_le32(p + 8);
    int M = L - P - S;
    int mask_len = M > 0 ? (M + 7) / 8 : 0;
    assert(t >= 0 && L >= 0 && P >= 0 && S >= 0 && lenA >= t);
    assert(PATCH_HEADER + mask_len + t + 4 <= patch->length);
    const uint8_t *mask = p + PATCH_HEADER;
    const uint8_t *changed = mask + mask_len;
    const uint8_t *tail = p + patch->length - 4 - t;

    cbuffer *out = vull_create_buffer(L + t);
    if (!out) return nullptr;
    if (L + t > 0 && !cbuffer_add_data(out, nullptr, L + t)) {
        vull_destroy_buffer(out);
        return nullptr;
    }
    uint8_t *o = out->data;
    int hA = lenA - t;
    int pre = P < L ? P : L;
    for (int i = 0; i < pre; i++) o[i] = A[i];
    for (int i = pre; i < L; i++) {
        int k = i - P;
        if (k >= 0 && k < M) {
            if (mask[k / 8] & (1u << (k % 8))) {
                assert(changed < tail);
                o[i] = *changed++;
            } else {
                assert(i < hA);
                o[i] = A[i];
            }
        } else {
            int j = hA - L + i;
            assert(j >= 0 && j < hA);
            o[i] = A[j];
        }
    }
    if (t > 0) std::memcpy(o + L, tail, (size_t)t);
    return out;
}
