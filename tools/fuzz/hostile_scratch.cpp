// The scratch folder of the hostile-input entries: made on first use under
// $TMPDIR (or /tmp), removed with everything in it at exit; nothing written there
// is synced to the disk. Also the sampling of costly checks.
#include "tools/fuzz/hostile_inputs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string scratch_folder;

void remove_scratch() {
    std::error_code ec;
    if (!scratch_folder.empty()) std::filesystem::remove_all(scratch_folder, ec);
}

} // namespace

// What a run writes lives in the scratch folder for one input: it need not reach
// the disk, and waiting for every save to get there costs more than whole runs
// take on a busy machine. This one stands in for the C library's in these
// programs.
extern "C" int fsync(int) { return 0; }

const char *hostile_scratch() {
    if (scratch_folder.empty()) {
        // Memory-backed where the system has such a folder: whole runs make and
        // remove a home of folders and files for many inputs.
        const char *tmp = std::getenv("TMPDIR");
        if (!tmp || !*tmp) tmp = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(tmp) + "/zibo6-hostile-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("hostile input scratch folder");
            std::abort();
        }
        scratch_folder = pattern;
        std::atexit(remove_scratch);
    }
    return scratch_folder.c_str();
}

bool hostile_every_check = false;

#if defined(__clang__)
__attribute__((no_sanitize("coverage"))) // the harness's own loop
#endif
bool hostile_sampled(const uint8_t *data, size_t size, unsigned one_in) {
    if (hostile_every_check || one_in <= 1) return true;
    uint32_t h = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
    return h % one_in == 0;
}
