// Linked into every fuzz target: the attach call before the first input, and
// the limits a campaign runs under unless its command line (or ASAN_OPTIONS)
// says otherwise. A single input may take a few
// seconds of host time at most: a longer run is a hang to report, not a slow
// input. The freed-memory quarantine is kept small: cycling through the
// default 256 MB of fresh pages costs more time than most inputs take, and a
// use after free is still caught while the block stays in the last 16 MB freed.
// Targets that read program text get the dialect's dictionary (names and
// operators) as the build names it, and those the build gives an input size
// limit that limit.
// A feature counts as rare, for the scheduler's choice of what to mutate, until
// it has been seen 8 times rather than libFuzzer's 255: the rare ones are kept
// in a list searched for every feature of every run, and a whole run of the
// console hits thousands, so with tens of thousands of features below 255 that
// search took a fifth of the time. The scheduler still favours the inputs that
// reach what few others reach.
// Allocation and free stacks are recorded 10 frames deep, not 30: enough to
// name the code that allocated through our allocators, at less cost for each
// of the many blocks a run makes.
#include <cstring>
#include <vector>

#include "tools/fuzz/hostile_inputs.h"

namespace {

constexpr const char *DEFAULTS[] = {
    "-timeout=5",
    "-entropic_feature_frequency_threshold=8",
#ifdef ZIBO6_FUZZ_DICT
    "-dict=" ZIBO6_FUZZ_DICT,
#endif
#ifdef ZIBO6_FUZZ_MAX_LEN
    "-max_len=" ZIBO6_FUZZ_MAX_LEN,
#endif
};

bool given(int argc, char **argv, const char *flag) {
    const char *eq = std::strchr(flag, '=');
    size_t n = size_t(eq - flag) + 1; // "-timeout="
    for (int i = 1; i < argc; i++)
        if (std::strncmp(argv[i], flag, n) == 0) return true;
    return false;
}

} // namespace

extern "C" const char *__asan_default_options() {
    return "quarantine_size_mb=16:malloc_context_size=10";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    // The layers the target links, attached before the first input as the
    // player's main attaches them: every target defines hostile_attach, in
    // its list of entries or in stack_attach.cpp.
    hostile_attach();
    // The defaults go right after the program name; a flag given on the
    // command line is left alone.
    static std::vector<char *> args;
    args.assign(*argv, *argv + 1);
    for (const char *flag : DEFAULTS)
        if (!given(*argc, *argv, flag)) args.push_back(const_cast<char *>(flag));
    args.insert(args.end(), *argv + 1, *argv + *argc);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}
