// Entry points that feed one untrusted input to one of the engine's readers.
// The libFuzzer targets call one each; the corpus replay test calls them all
// on every committed input. Each returns 0 and aborts on a broken invariant.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// A harness's own loops and comparisons, run for every input: no coverage of
// them (they would count a page's size as a feature) and no comparisons traced.
#if defined(__clang__)
#define FUZZ_HARNESS_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_HARNESS_UNTRACED
#endif

using hostile_entry_fn = int (*)(const uint8_t *data, size_t size);

struct hostile_entry {
    const char *name; // also the corpus folder name
    hostile_entry_fn run;
};

// Null-terminated list of every entry.
extern const hostile_entry hostile_entries[];
// Hands the libraries the entries use their hooks, as the player's main does:
// the attach call of the top layer they link (zibo6_attach_shell,
// vull_sound_attach). Defined beside each list of entries (and, for the
// targets without one, in stack_attach.cpp); every fuzz target's
// LLVMFuzzerInitialize (fuzz_limits.cpp) and the corpus replay's main call it
// once, before the first input.
void hostile_attach();

// Looks an entry up by name; null when there is none. Inline so that another
// list of entries (one per subsystem) can stand in for this one.
inline hostile_entry_fn hostile_find(const char *name) {
    for (const hostile_entry *e = hostile_entries; e->name; e++)
        if (std::strcmp(e->name, name) == 0) return e->run;
    return nullptr;
}

// Scratch folder the entries write their files into (made on first use,
// removed at exit).
const char *hostile_scratch();

// Checks that cost the fuzzer several times the reading they follow run for one
// input in `one_in`, picked by the input's bytes (so that a reproduction runs
// them alike), or for every input once the corpus replay set
// hostile_every_check.
extern bool hostile_every_check;
bool hostile_sampled(const uint8_t *data, size_t size, unsigned one_in);
