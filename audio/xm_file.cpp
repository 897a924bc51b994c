// XM module files: the reader and the writer. The reader takes the layout the
// writer produces (one sample per instrument, the header at a fixed size) and
// refuses anything it cannot hold: every count is bounded before it is used and
// every read is checked, so a short or hostile file gives null, never a module
// that points past its own data.
#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/xm.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/vull.h"

namespace {

constexpr int max_patterns = 256;    // order entries are bytes
constexpr int max_instruments = 255; // cell instrument numbers are bytes
constexpr int placeholder_frames = 1024;
constexpr char tracker_name[] = "zibo-6              "; // 20 bytes, padded with spaces
static_assert(sizeof tracker_name == 21);

// Reads that remember whether any came up short.
struct xm_reader {
    vull_file *f;
    bool failed = false;

    void bytes(void *out, int n) {
        if (n <= 0) return;
        if (failed || vull_fread(out, 1, n, f) != n) {
            failed = true;
            std::memset(out, 0, size_t(n));
        }
    }
    void skip(int n) {
        uint8_t scratch[256];
        while (n > 0 && !failed) {
            int k = std::min(n, int(sizeof scratch));
            bytes(scratch, k);
            n -= k;
        }
    }
    uint8_t u8() {
        uint8_t v;
        bytes(&v, 1);
        return v;
    }
    uint16_t u16() {
        uint8_t b[2];
        bytes(b, 2);
        return uint16_t(b[0] | b[1] << 8);
    }
    uint32_t u32() {
        uint8_t b[4];
        bytes(b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
};

struct xm_writer {
    vull_file *f;
    bool failed = false;

    void bytes(const void *data, int n) {
        if (n > 0 && vull_fwrite(data, 1, n, f) != n) failed = true;
    }
    void zeros(int n) {
        static const uint8_t zero[96] = {};
        while (n > 0) {
            int k = std::min(n, int(sizeof zero));
            bytes(zero, k);
            n -= k;
        }
    }
    void u8(int v) {
        uint8_t b = uint8_t(v);
        bytes(&b, 1);
    }
    void u16(int v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        bytes(b, 2);
    }
    void u32(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
};

void read_cell(xm_reader &r, uint8_t *cell) {
    uint8_t first = r.u8();
    if (first & 0x80) {
        for (int k = 0; k < XM_CELL_BYTES; k++) cell[k] = (first >> k) & 1 ? r.u8() : 0;
    } else {
        cell[0] = first;
        r.bytes(cell + 1, XM_CELL_BYTES - 1);
    }
}

bool read_pattern(xm_reader &r, xm_pattern *p, int channels) {
    if ((r.u32() & 0xFF) != 9) vull_debugf("** vull_load_xm warning: pattern reader failure!\n");
    (void)r.u8(); // packing type
    int rows = r.u16();
    int packed = r.u16();
    // The store holds 64 rows: the cells of further rows are read and dropped so
    // that the file position stays right for what follows.
    p->rows = std::min(rows, XM_MAX_ROWS);
    if (packed == 0) return !r.failed;
    uint8_t dropped[XM_CELL_BYTES];
    for (int row = 0; row < rows && !r.failed; row++)
        for (int c = 0; c < channels; c++)
            read_cell(r, row < XM_MAX_ROWS ? p->cells[c][row] : dropped);
    return !r.failed;
}

// A level is 0..64 by the format; a larger one is taken as 64, so that the
// interpolation between points stays in range and means full volume.
void read_envelope(xm_reader &r, xm_envelope *env) {
    for (int k = 0; k < XM_ENV_POINTS; k++) {
        env->x[k] = r.u16();
        env->y[k] = std::min<uint16_t>(r.u16(), XM_ENV_LEVEL_MAX);
    }
}

// Sample data arrives in pieces, so a length that the file does not back costs
// no more memory than the file holds.
bool read_sample_data(xm_reader &r, int64_t bytes, std::vector<uint8_t> *out) {
    out->clear();
    while (int64_t(out->size()) < bytes) {
        size_t at = out->size();
        int k = int(std::min<int64_t>(bytes - int64_t(at), 65536));
        out->resize(at + size_t(k));
        r.bytes(out->data() + at, k);
        if (r.failed) return false;
    }
    return true;
}

bool read_sample(xm_reader &r, xm_instrument *ins) {
    (void)r.u32(); // sample header size
    r.skip(96);    // note-to-sample map
    read_envelope(r, &ins->vol_env);
    read_envelope(r, &ins->pan_env);
    r.bytes(ins->env_bytes, 14);
    ins->vol_env.points = std::min<int>(ins->env_bytes[0], XM_ENV_POINTS);
    ins->pan_env.points = std::min<int>(ins->env_bytes[1], XM_ENV_POINTS);
    ins->fadeout = r.u16();
    r.skip(22);
    uint32_t length = r.u32(), loop_start = r.u32(), loop_length = r.u32();
    ins->volume = r.u8();
    ins->finetune = int8_t(r.u8());
    ins->type = r.u8();
    ins->panning = r.u8();
    ins->relative_note = int8_t(r.u8());
    (void)r.u8();
    r.bytes(ins->sample_name, 22);
    if (r.failed) return false;
    bool wide = ins->type & 0x10;
    int frames = 0, data_bytes = 0;
    uint32_t loop_frames = wide ? loop_start / 2 : loop_start;
    uint32_t loop_span = wide ? loop_length / 2 : loop_length;
    if (!vull_checked_size(wide ? length / 2 : length, 1, 0, &frames) ||
        !vull_checked_size(frames, 2, 2, &data_bytes) || loop_frames > INT32_MAX / 2 ||
        loop_span > INT32_MAX / 2)
        return false;
    std::vector<uint8_t> raw;
    if (!read_sample_data(r, int64_t(length), &raw)) return false;
    auto *data = static_cast<int16_t *>(vull_malloc(data_bytes));
    if (!data) return false;
    // Delta-coded: the running sum, modulo the sample width.
    if (wide) {
        uint16_t sum = 0;
        for (int i = 0; i < frames; i++) {
            sum = uint16_t(sum + (raw[2 * size_t(i)] | raw[2 * size_t(i) + 1] << 8));
            data[i] = int16_t(sum);
        }
    } else {
        uint8_t sum = 0;
        for (int i = 0; i < frames; i++) {
            sum = uint8_t(sum + raw[size_t(i)]);
            data[i] = int16_t(int8_t(sum) * 256);
        }
    }
    data[frames] = frames > 0 ? data[0] : 0;
    vull_free(ins->data); // a further sample of the same instrument replaces the last
    ins->data = data;
    ins->length = frames;
    ins->loop_start = int32_t(loop_frames);
    ins->loop_length = int32_t(loop_span);
    ins->type |= 0x10;
    ins->width = 16;
    return true;
}

bool read_instrument(xm_reader &r, xm_instrument *ins) {
    (void)r.u32(); // instrument header size
    r.bytes(ins->name, 22);
    (void)r.u8(); // type
    int samples = r.u16();
    for (int k = 0; k < samples && !r.failed; k++)
        if (!read_sample(r, ins)) return false;
    ins->sample_count = samples > 0 ? 1 : 0;
    return !r.failed;
}

bool make_placeholder(xm_instrument *ins) {
    ins->data = static_cast<int16_t *>(vull_malloc((placeholder_frames + 1) * 2));
    ins->length = placeholder_frames;
    ins->width = 16;
    return ins->data != nullptr;
}

bool read_module(xm_reader &r, xm_module *m) {
    r.skip(17);
    r.bytes(m->name, 20);
    r.skip(1 + 20 + 2 + 4);
    m->song_length = r.u16();
    m->restart = r.u16();
    m->channels = r.u16();
    m->pattern_count = r.u16();
    m->instrument_count = r.u16();
    m->flags = r.u16();
    m->tempo = r.u16();
    m->bpm = r.u16();
    r.bytes(m->order, XM_ORDERS);
    if (r.failed) return false;
    if (m->channels > XM_MAX_CHANNELS) {
        vull_debugf("vull_load_xm: %d channels (at most %d)\n", int(m->channels), XM_MAX_CHANNELS);
        return false;
    }
    if (m->pattern_count > max_patterns || m->instrument_count > max_instruments) return false;
    // Order positions index a 256-byte table.
    m->song_length = std::min(m->song_length, XM_ORDERS);
    if (m->pattern_count > 0) {
        m->patterns =
            static_cast<xm_pattern *>(vull_malloc(m->pattern_count * int(sizeof(xm_pattern))));
        if (!m->patterns) return false;
    }
    for (int i = 0; i < m->pattern_count; i++)
        if (!read_pattern(r, &m->patterns[i], m->channels)) return false;
    m->instruments = static_cast<xm_instrument *>(
        vull_malloc((m->instrument_count + 1) * int(sizeof(xm_instrument))));
    if (!m->instruments || !make_placeholder(&m->instruments[0])) return false;
    for (int i = 1; i <= m->instrument_count; i++)
        if (!read_instrument(r, &m->instruments[i])) return false;
    return true;
}

void write_cell(xm_writer &w, const uint8_t *cell) {
    uint8_t c[XM_CELL_BYTES];
    std::memcpy(c, cell, sizeof c);
    c[0] &= 0x7F;
    bool full = std::all_of(c, c + XM_CELL_BYTES, [](uint8_t b) { return b != 0; });
    if (full) {
        w.bytes(c, XM_CELL_BYTES);
        return;
    }
    int flags = 0x80;
    for (int k = 0; k < XM_CELL_BYTES; k++)
        if (c[k]) flags |= 1 << k;
    w.u8(flags);
    for (int k = 0; k < XM_CELL_BYTES; k++)
        if (c[k]) w.u8(c[k]);
}

// Byte count of a pattern's coded cells, as the packed size field gives it.
int packed_size(const xm_pattern *p, int channels) {
    int size = 0;
    for (int row = 0; row < p->rows; row++)
        for (int c = 0; c < channels; c++) {
            const uint8_t *cell = p->cells[c][row];
            uint8_t note = cell[0] & 0x7F;
            bool full = note && cell[1] && cell[2] && cell[3] && cell[4];
            size += full ? XM_CELL_BYTES
                         : 1 + (note != 0) + (cell[1] != 0) + (cell[2] != 0) + (cell[3] != 0) +
                               (cell[4] != 0);
        }
    return size;
}

void write_envelope(xm_writer &w, const xm_envelope &env) {
    for (int k = 0; k < XM_ENV_POINTS; k++) {
        w.u16(env.x[k]);
        w.u16(env.y[k]);
    }
}

void write_instrument(xm_writer &w, const xm_instrument &ins) {
    w.u32(263);
    w.bytes(ins.name, 22);
    w.u8(0);
    bool sample = ins.sample_count > 0;
    w.u16(sample ? 1 : 0);
    if (!sample) return;
    int frames = ins.data ? std::max(ins.length, 0) : 0;
    w.u32(40);
    w.zeros(96);
    write_envelope(w, ins.vol_env);
    write_envelope(w, ins.pan_env);
    w.bytes(ins.env_bytes, 14);
    w.u16(ins.fadeout);
    w.zeros(22);
    w.u32(uint32_t(frames) * 2);
    w.u32(uint32_t(ins.loop_start) * 2);
    w.u32(uint32_t(ins.loop_length) * 2);
    w.u8(ins.volume);
    w.u8(ins.finetune);
    w.u8(ins.type | 0x10); // the data below is always 16-bit
    w.u8(ins.panning);
    w.u8(ins.relative_note);
    w.u8(0);
    w.bytes(ins.sample_name, 22);
    std::vector<uint8_t> coded(size_t(frames) * 2);
    uint16_t prev = 0;
    for (int i = 0; i < frames; i++) {
        uint16_t d = uint16_t(uint16_t(ins.data[i]) - prev);
        prev = uint16_t(ins.data[i]);
        coded[2 * size_t(i)] = uint8_t(d);
        coded[2 * size_t(i) + 1] = uint8_t(d >> 8);
    }
    for (size_t at = 0; at < coded.size(); at += 65536)
        w.bytes(coded.data() + at, int(std::min<size_t>(65536, coded.size() - at)));
}

} // namespace

xm_module *vull_create_xm() {
    return static_cast<xm_module *>(vull_malloc(int(sizeof(xm_module))));
}

void vull_destroy_xm(xm_module *m) {
    if (!m) return;
    if (m->instruments)
        for (int i = 0; i <= m->instrument_count; i++) vull_free(m->instruments[i].data);
    vull_free(m->instruments);
    vull_free(m->patterns);
    m->instruments = nullptr;
    m->patterns = nullptr;
}

xm_module *vull_load_xm_from_file(vull_file *file) {
    if (!file) return nullptr;
    xm_module *m = vull_create_xm();
    if (!m) return nullptr;
    xm_reader r{file};
    if (!read_module(r, m)) {
        vull_destroy_xm(m);
        vull_free(m);
        return nullptr;
    }
    return m;
}

xm_module *vull_load_xm(const char *path) {
    vull_file *f = path ? vull_fopen(path, "rb") : nullptr;
    if (!f) {
        vull_debugf("could not open\n");
        return nullptr;
    }
    xm_module *m = vull_load_xm_from_file(f);
    vull_fclose(f);
    return m;
}

int vull_save_xm_to_file(xm_module *m, vull_file *file) {
    if (!m || !file) return 1;
    xm_writer w{file};
    int channels = std::clamp(m->channels, 0, XM_MAX_CHANNELS);
    w.bytes("Extended Module: ", 17);
    char name[20] = {};
    std::memcpy(name, m->name, std::min(sizeof name, strnlen(m->name, sizeof m->name)));
    w.bytes(name, 20);
    w.u8(0x1A);
    w.bytes(tracker_name, 20);
    w.u16(0x0104);
    w.u32(276);
    w.u16(m->song_length);
    w.u16(m->restart);
    w.u16(channels);
    w.u16(m->patterns ? m->pattern_count : 0);
    w.u16(m->instruments ? m->instrument_count : 0);
    w.u16(m->flags);
    w.u16(m->tempo);
    w.u16(m->bpm);
    w.bytes(m->order, XM_ORDERS);
    for (int i = 0; m->patterns && i < m->pattern_count; i++) {
        const xm_pattern &p = m->patterns[i];
        int rows = std::clamp(p.rows, 0, XM_MAX_ROWS);
        xm_pattern clamped;
        const xm_pattern *src = &p;
        if (rows != p.rows) {
            clamped = p;
            clamped.rows = rows;
            src = &clamped;
        }
        w.u32(9);
        w.u8(0);
        w.u16(rows);
        w.u16(packed_size(src, channels));
        for (int row = 0; row < rows; row++)
            for (int c = 0; c < channels; c++) write_cell(w, p.cells[c][row]);
    }
    for (int i = 1; m->instruments && i <= m->instrument_count; i++)
        write_instrument(w, m->instruments[i]);
    return w.failed ? 1 : 0;
}

int vull_save_xm(xm_module *m, const char *path) {
    vull_file *f = path ? vull_fopen(path, "wb") : nullptr;
    if (!f) return 1;
    int result = vull_save_xm_to_file(m, f);
    vull_fclose(f);
    return result;
}
