// File helpers of the frame-loop, configuration and system-service tests:
// fresh folders under the test HOME, whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ftest {

// A new, empty folder under HOME (the CTest environment points it at a test folder).
inline std::string make_temp_dir(const char *tag) {
    const char *base = getenv("HOME");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/" + tag + "_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    EXPECT_NE(mkdtemp(buf.data()), nullptr);
    return buf.data();
}

inline void write_file(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary) << data;
}

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace ftest
