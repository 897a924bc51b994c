// The pxa block's move-to-front table of literal bytes and its magic, shared
// by the block's writer (compress_write.cpp) and its reader (compress.cpp).
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint8_t PXA_MAGIC[4] = {0, 'p', 'x', 'a'};

using mtf_table = std::array<uint8_t, 256>;

mtf_table identity_table() {
    mtf_table t{};
    for (int i = 0; i < 256; i++) t[i] = uint8_t(i);
    return t;
}

void move_to_front(mtf_table &t, int index) {
    uint8_t c = t[index];
    std::memmove(t.data() + 1, t.data(), size_t(index));
    t[0] = c;
}

} // namespace
