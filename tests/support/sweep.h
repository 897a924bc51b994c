// Exhaustive sweeps (every truncation of a large file, every value at every
// offset) run whole under `make test-long`, which sets ZIBO6_LONG_TESTS=1;
// `make test` tries a fixed, seeded subset so that it stays fast, and always
// the same one, so that a failure repeats.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

inline bool z6_long_tests() {
    const char *v = std::getenv("ZIBO6_LONG_TESTS");
    return v && *v && std::strcmp(v, "0") != 0;
}

// The points of 0..n-1 to try, ascending: all of them under make test-long;
// otherwise every point below `dense` and in the last `dense`, where headers
// and ends lie, and `samples` more drawn with a fixed seed from between.
inline std::vector<size_t> z6_sweep_points(size_t n, size_t dense, size_t samples,
                                           uint32_t seed = 1) {
    std::vector<size_t> points;
    if (z6_long_tests() || n <= 2 * dense + samples) {
        for (size_t i = 0; i < n; i++) points.push_back(i);
        return points;
    }
    for (size_t i = 0; i < dense; i++) points.push_back(i);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> between(dense, n - dense - 1);
    for (size_t k = 0; k < samples; k++) points.push_back(between(rng));
    for (size_t i = n - dense; i < n; i++) points.push_back(i);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}
