// A small generator of XM module files for the tests, written byte by byte from
// the file layout (independent of the engine's writer).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct gen_cell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct gen_pattern {
    int rows = 64;
    bool packed_zero = false;    // write packed size 0 and no cell data
    std::vector<gen_cell> cells; // rows x channels, row-major; missing cells are empty
    gen_cell at(int row, int ch, int channels) const {
        size_t k = size_t(row) * size_t(channels) + size_t(ch);
        return k < cells.size() ? cells[k] : gen_cell{};
    }
};

struct gen_instrument {
    std::vector<int16_t> frames;  // sample frames
    bool eight_bit = false;       // write 8-bit deltas (frames taken >> 8)
    std::vector<uint8_t> raw;     // when not empty: the coded sample bytes as they stand
    uint32_t length_override = 0; // nonzero: sample length field in bytes
    uint32_t loop_start = 0, loop_length = 0; // in frames
    int loop_type = 0;
    int volume = 64, finetune = 0, relative_note = 0;
    int env_points = 0, env_type = 0;
    uint16_t env_x[12] = {}, env_y[12] = {};
    bool has_sample = true;
};

struct gen_module {
    std::string name = "test";
    int song_length = 1, restart = 0, channels = 1, tempo = 6, bpm = 125, flags = 1;
    std::vector<uint8_t> order = {0};
    std::vector<gen_pattern> patterns;
    std::vector<gen_instrument> instruments;
};

struct gen_bytes {
    std::vector<uint8_t> b;
    void u8(int v) { b.push_back(uint8_t(v)); }
    void u16(int v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(int(v & 0xFFFF));
        u16(int(v >> 16));
    }
    void text(const std::string &s, size_t n) {
        for (size_t i = 0; i < n; i++) u8(i < s.size() ? s[i] : 0);
    }
};

inline std::vector<uint8_t> gen_xm(const gen_module &m) {
    gen_bytes o;
    o.text("Extended Module: ", 17);
    o.text(m.name, 20);
    o.u8(0x1A);
    o.text("test generator", 20);
    o.u16(0x0104);
    o.u32(276);
    o.u16(m.song_length);
    o.u16(m.restart);
    o.u16(m.channels);
    o.u16(int(m.patterns.size()));
    o.u16(int(m.instruments.size()));
    o.u16(m.flags);
    o.u16(m.tempo);
    o.u16(m.bpm);
    for (int i = 0; i < 256; i++) o.u8(i < int(m.order.size()) ? m.order[size_t(i)] : 0);
    for (const gen_pattern &p : m.patterns) {
        gen_bytes cells;
        if (!p.packed_zero)
            for (int r = 0; r < p.rows; r++)
                for (int c = 0; c < m.channels; c++) {
                    gen_cell x = p.at(r, c, m.channels);
                    // Always the flagged form: the reader must take both.
                    uint8_t f[5] = {x.note, x.instrument, x.volume, x.effect, x.param};
                    int flags = 0x80;
                    for (int k = 0; k < 5; k++) flags |= f[k] ? 1 << k : 0;
                    cells.u8(flags);
                    for (int k = 0; k < 5; k++)
                        if (f[k]) cells.u8(f[k]);
                }
        o.u32(9);
        o.u8(0);
        o.u16(p.rows);
        o.u16(int(cells.b.size()));
        o.b.insert(o.b.end(), cells.b.begin(), cells.b.end());
    }
    for (const gen_instrument &in : m.instruments) {
        o.u32(263);
        o.text("instrument", 22);
        o.u8(0);
        o.u16(in.has_sample ? 1 : 0);
        if (!in.has_sample) continue;
        o.u32(40);
        for (int i = 0; i < 96; i++) o.u8(0);
        for (int k = 0; k < 12; k++) {
            o.u16(in.env_x[k]);
            o.u16(in.env_y[k]);
        }
        for (int k = 0; k < 24; k++) o.u16(0); // panning envelope
        uint8_t env[14] = {uint8_t(in.env_points), 0, 0, 0, 0, 0, 0, 0, uint8_t(in.env_type)};
        for (uint8_t e : env) o.u8(e);
        o.u16(0); // fadeout
        for (int i = 0; i < 22; i++) o.u8(0);
        int width = in.eight_bit ? 1 : 2;
        gen_bytes data;
        if (!in.raw.empty()) {
            data.b = in.raw;
        } else if (in.eight_bit) {
            int8_t prev = 0;
            for (int16_t f : in.frames) {
                int8_t v = int8_t(f >> 8);
                data.u8(uint8_t(v - prev));
                prev = v;
            }
        } else {
            uint16_t prev = 0;
            for (int16_t f : in.frames) {
                data.u16(uint16_t(uint16_t(f) - prev));
                prev = uint16_t(f);
            }
        }
        o.u32(in.length_override ? in.length_override : uint32_t(data.b.size()));
        o.u32(in.loop_start * uint32_t(width));
        o.u32(in.loop_length * uint32_t(width));
        o.u8(in.volume);
        o.u8(uint8_t(int8_t(in.finetune)));
        o.u8(in.loop_type | (in.eight_bit ? 0 : 0x10));
        o.u8(128);
        o.u8(uint8_t(int8_t(in.relative_note)));
        o.u8(0);
        o.text("sample", 22);
        o.b.insert(o.b.end(), data.b.begin(), data.b.end());
    }
    return o.b;
}

// One cycle of a sine over n frames, looping forward over the whole sample.
inline gen_instrument gen_sine_instrument(int n = 64) {
    gen_instrument in;
    for (int i = 0; i < n; i++)
        in.frames.push_back(int16_t(20000 * __builtin_sin(2 * 3.14159265358979 * i / n)));
    in.loop_start = 0;
    in.loop_length = uint32_t(n);
    in.loop_type = 1;
    return in;
}

// One channel, one pattern of 64 rows, a note on row 0 with instrument 1.
inline gen_module gen_one_note(int note, int channels = 1) {
    gen_module m;
    m.channels = channels;
    gen_pattern p;
    p.cells.resize(size_t(64 * channels));
    p.cells[0] = gen_cell{uint8_t(note), 1, 0, 0, 0};
    m.patterns.push_back(p);
    m.instruments.push_back(gen_sine_instrument());
    return m;
}
