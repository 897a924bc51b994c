// Writes the seed modules of the XM reader's fuzz corpus, all made by the test
// generator (xm_gen.h): plain, 8-channel, 8-bit, empty-pattern, effects,
// envelopes and the hostile shapes the reader must survive.
#include <cstdio>
#include <string>

#include "xm_gen.h"

static bool put(const std::string &folder, const char *name, const gen_module &m) {
    std::vector<uint8_t> bytes = gen_xm(m);
    std::string path = folder + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "make_xm_corpus: could not write %s\n", path.c_str());
    return ok;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_xm_corpus FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = put(dir, "one_note.xm", gen_one_note(49));

    gen_module eight = gen_one_note(61, 8);
    for (int c = 0; c < 8; c++)
        eight.patterns[0].cells[size_t(8 * 4 + c)] = gen_cell{uint8_t(40 + c), 1, 0x40, 0, 0};
    ok &= put(dir, "eight_channels.xm", eight);

    gen_module bytes8 = gen_one_note(49);
    bytes8.instruments[0].eight_bit = true;
    bytes8.patterns[0].packed_zero = false;
    gen_pattern empty;
    empty.packed_zero = true;
    bytes8.patterns.push_back(empty);
    bytes8.song_length = 2;
    bytes8.order = {0, 1};
    ok &= put(dir, "eight_bit_and_empty.xm", bytes8);

    // Every effect the player knows, a jump and a note-off.
    gen_module fx = gen_one_note(49, 2);
    uint8_t effects[][2] = {{0, 0x37}, {1, 4}, {1, 0}, {2, 8}, {3, 6}, {4, 0x48}, {10, 3}, {11, 0}};
    for (int r = 0; r < 8; r++) {
        fx.patterns[0].cells[size_t(2 * (4 * r + 1))] =
            gen_cell{uint8_t(50 + r), 1, 0, effects[r][0], effects[r][1]};
        fx.patterns[0].cells[size_t(2 * (4 * r + 2) + 1)] =
            gen_cell{uint8_t(r ? 60 : 97), 2, 0x20, 0, 0};
    }
    fx.instruments.push_back(gen_sine_instrument(16));
    fx.instruments[1].env_points = 3;
    fx.instruments[1].env_type = 1;
    fx.instruments[1].env_x[1] = 4;
    fx.instruments[1].env_x[2] = 20;
    fx.instruments[1].env_y[0] = 64;
    fx.instruments[1].env_y[1] = 32;
    ok &= put(dir, "effects_and_envelope.xm", fx);

    // Hostile: long pattern, missing patterns and instruments, BPM 0, equal
    // envelope points, a loop past the sample's end.
    gen_module bad = gen_one_note(49, 3);
    bad.bpm = 0;
    bad.tempo = 0;
    bad.patterns[0].rows = 90;
    bad.patterns[0].cells.resize(90 * 3);
    bad.patterns[0].cells[3] = gen_cell{96, 200, 0xFF, 11, 250};
    bad.song_length = 5;
    bad.order = {0, 9, 255, 0, 3};
    bad.instruments[0].env_points = 12;
    bad.instruments[0].env_type = 1;
    bad.instruments[0].loop_start = 50;
    bad.instruments[0].loop_length = 500;
    ok &= put(dir, "hostile_shapes.xm", bad);

    // Envelope levels far above 64 on points far apart: the interpolation of
    // the raw values overflowed.
    gen_module loud = gen_one_note(49);
    loud.instruments[0].env_points = 2;
    loud.instruments[0].env_type = 1;
    loud.instruments[0].env_x[1] = 0xFFFF;
    loud.instruments[0].env_y[0] = loud.instruments[0].env_y[1] = 0xFFFF;
    ok &= put(dir, "envelope_levels.xm", loud);

    gen_module nine = gen_one_note(49, 9);
    ok &= put(dir, "nine_channels.xm", nine);
    return ok ? 0 : 1;
}
