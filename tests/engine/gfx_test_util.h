// Owning bitmap handles for the picture tests.
#pragma once
#include <memory>

#include "engine/gfx.h"

namespace gfxtest {

struct bitmap_deleter {
    void operator()(vull_bitmap *b) const { vull_destroy_bitmap(b); }
};
using bitmap_ptr = std::unique_ptr<vull_bitmap, bitmap_deleter>;

inline bitmap_ptr make(int w, int h, int bpp) { return bitmap_ptr(vull_create_bitmap(w, h, bpp)); }

} // namespace gfxtest
