// The files every bounded reader must refuse: a pipe nobody writes (opening it
// must not wait), /dev/zero through a link, and a regular file one byte past
// the reader's bound; and the file exactly at the bound, which it reads.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace hostile {

struct file_set {
    std::string at_bound;             // read
    std::vector<std::string> refused; // pipe, /dev/zero link, one byte over
};

// Regular files are `line` repeated and cut to their length (a sparse tail past 8 MiB
// keeps large bounds cheap).
inline file_set make(const std::filesystem::path &dir, const std::string &tag, int64_t bound,
                     const std::string &line = "x", const std::string &ext = "") {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    auto regular = [&](const std::string &name, int64_t size) {
        std::string p = (dir / (name + ext)).string();
        std::string text;
        int64_t written = std::min<int64_t>(size, int64_t(8) << 20);
        while (int64_t(text.size()) < written) text += line;
        text.resize(size_t(written));
        std::ofstream(p, std::ios::binary) << text;
        fs::resize_file(p, uintmax_t(size));
        return p;
    };
    file_set s;
    s.at_bound = regular(tag + "_at_bound", bound);
    std::string fifo = (dir / (tag + "_pipe" + ext)).string();
    ::mkfifo(fifo.c_str(), 0644);
    std::string zero = (dir / (tag + "_zero" + ext)).string();
    fs::create_symlink("/dev/zero", zero);
    s.refused = {fifo, zero, regular(tag + "_over", bound + 1)};
    return s;
}

} // namespace hostile
