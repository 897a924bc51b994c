// Replays the shell's seed corpus (tests/shell/fuzz_corpus/<entry>/) through
// the same entries the libFuzzer targets drive, and the built data.pod with
// it; any broken invariant aborts.
#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/fuzz/shell_inputs.h"

namespace {

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    for (int c; (c = fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
    fclose(f);
    return bytes;
}

int replay(const std::string &dir, int (*entry)(const uint8_t *, size_t)) {
    DIR *d = opendir(dir.c_str());
    if (!d) {
        fprintf(stderr, "no corpus folder %s\n", dir.c_str());
        return 1;
    }
    int n = 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::vector<uint8_t> bytes = read_bytes(dir + "/" + e->d_name);
        entry(bytes.data(), bytes.size());
        n++;
    }
    closedir(d);
    printf("%s: %d inputs\n", dir.c_str(), n);
    return n > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: shell_fuzz_replay CORPUS_DIR DATA_POD\n");
        return 2;
    }
    std::string corpus = argv[1];
    int fails = replay(corpus + "/config", shell_fuzz_config);
    fails += replay(corpus + "/data_file", shell_fuzz_data_file);
    std::vector<uint8_t> pod = read_bytes(argv[2]);
    shell_fuzz_data_file(pod.data(), pod.size());
    return fails ? 1 : 0;
}
