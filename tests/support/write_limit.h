// A file system that fails part-way, without mounting one: while a write_limit
// lives, no file of this process may grow past the given size. The write that
// crosses it is cut short and later ones fail with EFBIG, as on a full disk
// (the signal that would end the process is ignored meanwhile).
#pragma once
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace z6test {

struct write_limit {
    rlimit saved{};
    void (*saved_handler)(int) = nullptr;
    explicit write_limit(rlim_t bytes) {
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        saved_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
    }
    ~write_limit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, saved_handler);
    }
    write_limit(const write_limit &) = delete;
    write_limit &operator=(const write_limit &) = delete;
};

} // namespace z6test
