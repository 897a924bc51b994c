// Valid PNG files drawn from the fuzzer's bytes. A mutated PNG file almost
// never passes the decoder's checksums, so the readers behind the decoder
// (the cart in the pixels' low bits, the board's listings and labels) would
// see only the committed seeds; the entries draw a picture instead and encode
// it, keeping one mode in which the input is a PNG file read as it is.
#pragma once
#include <lodepng.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

// What the first byte of a PNG entry's input asks for: the rest read as a PNG
// file (its chunk checksums mended), or drawn by the entry into a picture.
constexpr uint8_t FUZZ_PNG_AS_FILE = 0;

// The file with the checksum of every whole chunk mended, so that a mutated
// header or chunk list reaches the checks behind the decoder's. The walk ends
// at the first chunk that runs past the end.
inline void fuzz_png_mend_crcs(std::vector<uint8_t> &file) {
    size_t pos = 8; // past the signature
    while (pos + 12 <= file.size()) {
        const uint8_t *p = &file[pos];
        const size_t len = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (len > file.size() - pos - 12) break;
        const unsigned crc = lodepng_crc32(&file[pos + 4], len + 4);
        for (int i = 0; i < 4; i++) file[pos + 8 + len + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        pos += len + 12;
    }
}

// RGBA pixels, row by row, as an 8-bit RGBA PNG file: stored deflate blocks
// and no filtering, as compressing would cost the fuzzer more than the reading.
inline std::vector<uint8_t> fuzz_png_encode(const std::vector<uint8_t> &rgba, unsigned width,
                                            unsigned height) {
    std::vector<uint8_t> file;
    if (rgba.size() != size_t(width) * height * 4) return file;
    LodePNGState state;
    lodepng_state_init(&state);
    state.info_raw.colortype = LCT_RGBA;
    state.info_raw.bitdepth = 8;
    state.info_png.color.colortype = LCT_RGBA;
    state.info_png.color.bitdepth = 8;
    state.encoder.auto_convert = 0;
    state.encoder.filter_strategy = LFS_ZERO;
    state.encoder.zlibsettings.btype = 0;
    unsigned char *png = nullptr;
    size_t size = 0;
    if (lodepng_encode(&png, &size, rgba.data(), width, height, &state) == 0)
        file.assign(png, png + size);
    std::free(png);
    lodepng_state_cleanup(&state);
    return file;
}
