// The engine's readers of untrusted input, each driven by one byte string.
// Besides "no crash, no leak, no out-of-bounds access" (the sanitizers'
// job), every entry checks what its reader promises: clamped settings,
// terminated paths, round trips, and identical results from stream and
// memory files where the same reader serves both.
#include "tools/fuzz/hostile_inputs.h"
#include "audio/mixer.h"
#include "tools/fuzz/fuzz_png.h"

#include "engine/charset.h"
#include "engine/config.h"
#include "engine/ctext.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/pod.h"
#include "engine/stable.h"
#include "engine/undo.h"
#include "engine/vull.h"
#include "platform/joystick.h"
#include "platform/events.h"
#include "platform/script.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t INPUT_LIMIT = 1u << 20;

void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "hostile input: broken invariant: %s\n", what);
    std::abort();
}

std::string scratch_path(const char *name) { return std::string(hostile_scratch()) + "/" + name; }

void write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "scratch file cannot be written");
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// A virtual-disk file holding exactly the input; read back by its key.
void write_vdisk(const char *key, const uint8_t *data, size_t size) {
    vull_file *f = vull_fopen_vdisk(key, "w");
    check(f != nullptr, "virtual disk file cannot be made");
    if (size)
        check(vull_fwrite(data, 1, (int)size, f) == (int)size, "virtual disk write cut short");
    f->position = 0;
}

// The input up to its first NUL, as a text.
std::string as_text(const uint8_t *data, size_t size) {
    return std::string(reinterpret_cast<const char *>(data),
                       strnlen(reinterpret_cast<const char *>(data), size));
}

bool terminated(const char *s, size_t room) { return strnlen(s, room) < room; }

/* ---- config.txt ---- */

void config_line_hook(const char *line) {
    check(terminated(line, 4096), "config line handed on unterminated");
    check(vull_trim(line) != nullptr, "trim of a line");
}

void reset_config() {
    vull_config_default();
    std::snprintf(cconfig.home, sizeof cconfig.home, "%s", hostile_scratch());
    cconfig0 = cconfig;
    vull_set_load_config_func(config_line_hook);
    vull_set_save_config_func(nullptr);
}

void check_config(const vull_config_rec &c) {
    check(c.sound_volume >= 0 && c.sound_volume <= 256, "sound_volume clamped");
    check(c.music_volume >= 0 && c.music_volume <= 256, "music_volume clamped");
    check(c.foreground_sleep_ms >= 0 && c.foreground_sleep_ms <= 200,
          "foreground_sleep_ms clamped");
    check(c.background_sleep_ms >= 0 && c.background_sleep_ms <= 200,
          "background_sleep_ms clamped");
    check(c.mix_buffer_size >= 512 && c.mix_buffer_size <= 8192, "mix_buffer_size clamped");
    check(terminated(c.desktop_path, sizeof c.desktop_path), "desktop_path terminated");
    size_t n = strlen(c.desktop_path);
    check(n == 0 || c.desktop_path[n - 1] == '/', "desktop_path ends with '/'");
    for (size_t i = 0; i < n; i++)
        check((unsigned char)c.desktop_path[i] >= 32, "desktop_path control character");
}

// The keys config.txt stores, compared after a save and a reload.
bool same_saved_keys(const vull_config_rec &a, const vull_config_rec &b) {
    return a.window_size[0] == b.window_size[0] && a.window_size[1] == b.window_size[1] &&
           a.screen_size[0] == b.screen_size[0] && a.screen_size[1] == b.screen_size[1] &&
           a.show_fps == b.show_fps && a.frameless == b.frameless &&
           a.foreground_sleep_ms == b.foreground_sleep_ms &&
           a.background_sleep_ms == b.background_sleep_ms && a.rmb_key == b.rmb_key &&
           // Blanks after a dropped control character lead the path; reading it back skips them.
           std::strcmp(a.desktop_path + strspn(a.desktop_path, " "), b.desktop_path) == 0;
}

int run_config(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    // From a file on disk (C-library lines), then saved and read back.
    write_file(scratch_path("config.txt"), data, size);
    reset_config();
    vull_config_load();
    check(cconfig.config_read == 1 && cconfig0.config_read == 1, "config.txt read");
    check_config(cconfig);
    check_config(cconfig0);
    vull_config_rec loaded0 = cconfig0;
    vull_config_rec loaded = cconfig;
    vull_config_save();
    reset_config();
    vull_config_load();
    check(same_saved_keys(loaded0, cconfig0), "config.txt keys survive a save and a reload");
    check(cconfig.sound_volume == loaded.sound_volume &&
              cconfig.music_volume == loaded.music_volume &&
              cconfig.mix_buffer_size == loaded.mix_buffer_size &&
              cconfig.sessions == loaded.sessions,
          "config.txt volumes survive a save and a reload");

    // From the virtual disk (engine line reader).
    std::remove(scratch_path("config.txt").c_str());
    write_vdisk("config.txt", data, size);
    reset_config();
    vull_config_load();
    check_config(cconfig);
    check_config(cconfig0);
    write_vdisk("config.txt", nullptr, 0);
    reset_config();
    return 0;
}

/* ---- command line ---- */

int run_args(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    // NUL-separated arguments after the program name.
    std::string all(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> words;
    size_t at = 0;
    while (at <= all.size() && words.size() < 256) {
        size_t end = all.find('\0', at);
        if (end == std::string::npos) end = all.size();
        words.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    std::vector<char *> argv;
    static char program[] = "zibo6";
    argv.push_back(program);
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    vull_set_argv0(words[0].c_str());
    check(terminated(vull_argv0, sizeof vull_argv0), "argv0 copy terminated");
    reset_config();
    vull_process_arguments((int)argv.size() - 1, argv.data());
    check(terminated(cconfig.home, sizeof cconfig.home), "home terminated");
    check(terminated(cconfig.desktop_path, sizeof cconfig.desktop_path), "desktop path terminated");
    check(cconfig.timeout >= 1 && cconfig.timeout <= 240, "timeout clamped");
    check(cconfig.preblit_scale >= 0 && cconfig.preblit_scale <= 8, "preblit_scale clamped");
    reset_config();
    return 0;
}

/* ---- pictures ---- */

void check_bitmap(const vull_bitmap *b) {
    check(b->width >= 1 && b->height >= 1 && (b->bpp == 8 || b->bpp == 32) && b->rows,
          "bitmap record");
}

// Saved as TGA and read back, a picture keeps every pixel.
void tga_round_trip(const vull_bitmap *b) {
    if (int64_t(b->width) * b->height > 1 << 20) return;
    std::string path = scratch_path("rt.tga");
    check(vull_save_tga(path.c_str(), b) == 0, "TGA saved");
    vull_bitmap *back = vull_load_tga(path.c_str());
    check(back && back->width == b->width && back->height == b->height && back->bpp == b->bpp,
          "TGA read back");
    size_t row = size_t(b->width) * (b->bpp / 8);
    for (int y = 0; y < b->height; y++)
        check(std::memcmp(b->rows[y], back->rows[y], row) == 0, "TGA pixels");
    vull_destroy_bitmap(back);
}

// Saved as BMP and read back, a colour picture keeps its red, green and blue.
void bmp_round_trip(const vull_bitmap *b) {
    if (b->bpp != 32 || int64_t(b->width) * b->height > 1 << 20) return;
    std::string path = scratch_path("rt.bmp");
    check(vull_save_bmp(path.c_str(), b) == 0, "BMP saved");
    vull_bitmap *back = vull_load_bmp(path.c_str());
    check(back && back->width == b->width && back->height == b->height, "BMP read back");
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width; x++)
            check(((vull_getpixel(b, x, y) ^ vull_getpixel(back, x, y)) & 0xFFFFFF) == 0,
                  "BMP pixels");
    vull_destroy_bitmap(back);
}

// The bytes as a PNG file on disk and in memory.
void read_png(const uint8_t *data, size_t size) {
    std::string path = scratch_path("in.png");
    write_file(path, data, size);
    if (vull_bitmap *b = vull_load_png(path.c_str())) {
        check_bitmap(b);
        check(b->width <= VULL_PNG_MAX_SIDE && b->height <= VULL_PNG_MAX_SIDE, "PNG side limit");
        tga_round_trip(b);
        vull_destroy_bitmap(b);
    }
    // PNG from memory in a colour mode picked by the input's length.
    static const struct {
        int type;
        unsigned depth;
    } modes[] = {{LCT_RGBA, 8},  {LCT_RGB, 8},     {LCT_GREY, 1},
                 {LCT_GREY, 16}, {LCT_PALETTE, 4}, {LCT_GREY_ALPHA, 16},
                 {LCT_RGBA, 16}, {LCT_RGB, 5},     {7, 8}};
    std::vector<uint8_t> copy(data, data + size);
    vull_file *mf = vull_fopen_memory(copy.data(), (int)size);
    check(mf != nullptr, "memory file");
    const auto &m = modes[size % (sizeof modes / sizeof modes[0])];
    unsigned char *out = nullptr;
    unsigned w = 0, h = 0;
    if (LodePNG_decode_vull_file(&out, &w, &h, mf, m.type, m.depth) == 0)
        check(out && w >= 1 && h >= 1, "PNG decoded without pixels");
    else
        check(!out && w == 0 && h == 0, "failed PNG decode leaves nothing behind");
    std::free(out);
    if (vull_bitmap *b = vull_load_png_from_file(mf)) {
        check_bitmap(b);
        vull_destroy_bitmap(b);
    }
    vull_fclose(mf);
}

int run_image(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    // Memory files through the virtual disk.
    write_vdisk("hostile_in.tga", data, size);
    if (vull_bitmap *b = vull_load_tga("hostile_in.tga")) {
        check_bitmap(b);
        tga_round_trip(b);
        bmp_round_trip(b);
        vull_destroy_bitmap(b);
    }
    write_vdisk("hostile_in.bmp", data, size);
    if (vull_bitmap *b = vull_load_bmp("hostile_in.bmp")) {
        check_bitmap(b);
        bmp_round_trip(b);
        vull_destroy_bitmap(b);
    }
    // The same bytes as a file on disk.
    std::string path = scratch_path("in.img");
    write_file(path, data, size);
    if (vull_bitmap *b = vull_load_image(path.c_str())) {
        check_bitmap(b);
        vull_destroy_bitmap(b);
    }
    read_png(data, size);
    // The same bytes with their chunk checksums mended, so that a mutated
    // header or chunk list reaches the size checks behind the decoder's.
    std::vector<uint8_t> mended(data, data + size);
    fuzz_png_mend_crcs(mended);
    if (mended != std::vector<uint8_t>(data, data + size)) read_png(mended.data(), size);
    // The input as a zlib stream.
    uint8_t *raw = nullptr;
    size_t raw_len = 0;
    if (vull_decompress(data, size, &raw, &raw_len) != 0)
        check(!raw && raw_len == 0, "failed inflate");
    std::free(raw);
    return 0;
}

/* ---- string tables ---- */

void check_stable(const vull_stable *t) {
    check(t->num_keys >= 0 && t->num_strings >= 0, "table counts");
    for (int k = 0; k < t->num_keys; k++) {
        check(t->first[k] >= 0 && t->first[k] <= t->num_strings, "first string index");
        check(k == 0 || t->first[k] >= t->first[k - 1], "first string order");
        int n = cdict_entries(t, t->keys[k]);
        check(n >= 0 && n <= t->num_strings, "entries of a key");
        for (int i = 0; i <= n; i++)
            check(vull_sts(t, t->keys[k], i) != nullptr, "string of a key");
        check(vull_sts(t, t->keys[k], INT32_MAX) == vull_no_stable_string,
              "index past the strings");
    }
}

bool same_stable(const vull_stable *a, const vull_stable *b) {
    if (!a || !b) return a == b;
    if (a->num_keys != b->num_keys || a->num_strings != b->num_strings) return false;
    for (int k = 0; k < a->num_keys; k++)
        if (std::strcmp(a->keys[k], b->keys[k]) != 0 || a->first[k] != b->first[k]) return false;
    for (int i = 0; i < a->num_strings; i++)
        if (std::strcmp(a->strings[i], b->strings[i]) != 0) return false;
    return true;
}

int run_stable(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    int live = vull_items_created;
    write_vdisk("hostile_in.stb", data, size);
    vull_stable *block = vull_load_stable("hostile_in.stb");
    vull_stable *conf = vull_load_stable_config("hostile_in.stb");
    check(block && conf, "string table from the virtual disk");
    check_stable(block);
    check_stable(conf);
    // The same lines from a stream and from a caller's block give the same tables.
    std::string path = scratch_path("in.stb");
    write_file(path, data, size);
    vull_stable *from_stream = vull_load_stable(path.c_str());
    vull_stable *conf_stream = vull_load_stable_config(path.c_str());
    check(same_stable(block, from_stream), "block form: stream and memory agree");
    check(same_stable(conf, conf_stream), "key-value form: stream and memory agree");
    std::vector<uint8_t> copy(data, data + size);
    vull_file *mf = vull_fopen_memory(copy.data(), (int)size);
    vull_stable *from_memory = vull_load_stable_from_file(mf);
    vull_fclose(mf);
    check(same_stable(block, from_memory), "block form: caller's block agrees");
    for (vull_stable *t : {block, conf, from_stream, conf_stream, from_memory})
        vull_destroy_stable(t);
    check(vull_items_created == live, "string tables released");
    return 0;
}

/* ---- character set ---- */

int run_charset(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    std::string text = as_text(data, size);
    std::string no_cr;
    for (char c : text)
        if (c != '\r') no_cr += c;
    for (int keep = 0; keep < 2; keep++) {
        // Exactly the documented room, so any write past it is caught.
        std::vector<char> wide(CHARSET_MAX_UTF8 * text.size() + 1);
        convert_glyphs_to_escaped_ex(text.c_str(), wide.data(), keep);
        check(terminated(wide.data(), wide.size()), "UTF-8 output fits");
        std::vector<char> narrow(strlen(wide.data()) + 1);
        convert_escaped_to_glyphs(wide.data(), narrow.data());
        check(no_cr == narrow.data(), "console text survives a trip through UTF-8");
        char *alloc = convert_glyphs_to_escaped_ex(text.c_str(), nullptr, keep);
        check(alloc && std::strcmp(alloc, wide.data()) == 0, "allocated UTF-8 output");
        vull_free(alloc);
    }
    // The input as UTF-8 (any bytes at all).
    std::vector<char> narrow(text.size() + 1);
    convert_escaped_to_glyphs(text.c_str(), narrow.data());
    check(terminated(narrow.data(), narrow.size()), "console output fits");
    char *alloc = convert_escaped_to_glyphs(text.c_str(), nullptr);
    check(alloc && std::strcmp(alloc, narrow.data()) == 0, "allocated console output");
    vull_free(alloc);
    return 0;
}

/* ---- undo stack ---- */

using state = std::vector<uint8_t>;

cbuffer *buffer_of(const state &s) {
    cbuffer *b = vull_create_buffer((int)s.size());
    check(b != nullptr, "state buffer");
    if (!s.empty()) check(cbuffer_add_data(b, s.data(), (int)s.size()) != nullptr, "state bytes");
    return b;
}

bool holds(const cbuffer *b, const state &s) {
    return b && b->length == (int)s.size() &&
           (s.empty() || std::memcmp(b->data, s.data(), s.size()) == 0);
}

/*
** The input is a program for the stack: a tail size, then operations. The
** history is modelled beside it; every state handed back must be the one the
** model says.
*/
int run_undo(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    vull_undo_stack *stack = vull_create_undo_stack();
    check(stack != nullptr, "undo stack");
    stack->tail_size = next() % 5;
    const int t = stack->tail_size;
    std::vector<state> history{state{}};
    size_t now = 0;
    while (at < size) {
        uint8_t op = next();
        if (op < 160) {
            // A new state: the current one edited, or fresh bytes.
            state s = history[now];
            int edits = op % 8;
            for (int e = 0; e < edits; e++) {
                uint8_t kind = next(), where = next(), value = next();
                size_t pos = s.empty() ? 0 : where % (s.size() + 1);
                if (kind % 3 == 0)
                    s.insert(s.begin() + (ptrdiff_t)pos, value);
                else if (kind % 3 == 1 && pos < s.size())
                    s.erase(s.begin() + (ptrdiff_t)pos);
                else if (pos < s.size())
                    s[pos] = value;
            }
            if (op >= 128) s.assign(op % 16, next());
            int recorded = vull_push_undo_state(buffer_of(s), stack, 0);
            bool fresh = history.size() == 1 && history[0].empty();
            if ((int)s.size() < t) {
                check(recorded == 0, "state shorter than the tail refused");
            } else if (fresh || (int)history[now].size() < t) {
                check(recorded == 0, "first state taken as it is");
                history = {s};
                now = 0;
            } else if (s == history[now]) {
                check(recorded == 0, "unchanged state not recorded");
            } else {
                check(recorded == 1, "changed state recorded");
                history.resize(now + 1);
                history.push_back(s);
                now++;
            }
        } else if (op < 208) {
            cbuffer *peek = vull_undo_peek_patch(stack->undo_patches);
            check((peek != nullptr) == (now > 0),
                  "an undo patch exists exactly when undo can step");
            vull_destroy_buffer(peek);
            cbuffer *got = vull_undo(stack);
            if (now > 0) {
                now--;
                check(holds(got, history[now]), "undo gives the previous state");
            } else {
                check(got == nullptr, "undo at the oldest state gives nothing");
            }
        } else {
            cbuffer *got = vull_redo(stack);
            if (now + 1 < history.size()) {
                now++;
                check(holds(got, history[now]), "redo gives the next state");
            } else {
                check(got == nullptr, "redo at the newest state gives nothing");
            }
        }
        check(holds(stack->current_state, history[now]), "current state matches the history");
    }
    vull_destroy_undo_stack(stack);
    return 0;
}

/* ---- memory files, line readers and paths ---- */

using line_list = std::vector<std::string>;

line_list read_lines(vull_file *f, int n, bool sensitive) {
    line_list lines;
    std::vector<char> buf((size_t)n);
    // Each line takes at least one byte, so more calls than bytes is a hang.
    for (size_t calls = 0;; calls++) {
        check(calls <= INPUT_LIMIT + 2, "line reader makes no progress");
        char *r = sensitive ? vull_fgets_sensitive(buf.data(), n, f) : vull_fgets(buf.data(), n, f);
        if (!r) break;
        check(terminated(buf.data(), (size_t)n), "line fits its buffer");
        lines.emplace_back(buf.data());
    }
    return lines;
}

void check_engine_lines(const line_list &lines) {
    for (const std::string &l : lines)
        check(l.find_first_of("\r\n") == std::string::npos, "line break kept");
}

// A path helper's result always fits the engine's path buffer.
void check_path(const char *s) { check(terminated(s, VULL_PATH_LEN), "path result fits"); }

int run_disk(const uint8_t *data, size_t size) {
    if (size < 1 || size > INPUT_LIMIT) return 0;
    const int n = 1 + data[0] % 48;
    std::vector<uint8_t> copy(data, data + size);
    vull_file *mf = vull_fopen_memory(copy.data(), (int)size);
    check(mf != nullptr, "memory file");
    line_list mem_lines = read_lines(mf, n, true);
    check_engine_lines(mem_lines);
    mf->position = 0;
    check(read_lines(mf, n, false) == mem_lines, "both line readers agree on memory files");

    std::string path = scratch_path("in.txt");
    write_file(path, data, size);
    vull_file *sf = vull_fopen(path.c_str(), "rb");
    check(sf != nullptr, "stream file");
    // A stream sees its end only once a read runs into it: after a final line
    // break it gives one more, empty, line.
    line_list stream_lines = read_lines(sf, n, true);
    if (stream_lines.size() == mem_lines.size() + 1 && stream_lines.back().empty())
        stream_lines.pop_back();
    check(stream_lines == mem_lines, "engine line reader: stream and memory agree");
    vull_fclose(sf);

    // Typed reads and seeks steered by the input itself.
    mf->position = 0;
    for (size_t i = 0; i < size && i < 4096; i++) {
        switch (data[i] % 8) {
        case 0: (void)vull_fread_int8(mf); break;
        case 1: (void)vull_fread_uint16(mf); break;
        case 2: (void)vull_fread_int32(mf); break;
        case 3: (void)vull_fread_float(mf); break;
        case 4: {
            int16_t v[4];
            check(vull_fread_int16s(v, 4, mf) <= 4, "int16 count");
            break;
        }
        case 5: (void)vull_fgetc(mf); break;
        case 6: vull_fseek(mf, (int8_t)data[i] * 3, SEEK_CUR); break;
        case 7: {
            uint8_t b[7];
            check(vull_fread(b, 1, 7, mf) <= 7, "read count");
            break;
        }
        }
        (void)vull_feof(mf);
    }
    vull_fclose(mf);

    // The input as a path.
    std::string text = as_text(data, size);
    char out[VULL_PATH_LEN], folder[VULL_PATH_LEN], name[VULL_PATH_LEN], ext[VULL_PATH_LEN];
    check_path(vull_fix_path_string(text.c_str(), out));
    check_path(vull_fix_path_string(text.c_str(), nullptr));
    check_path(vull_get_filename_extension(text.c_str(), out));
    for (int dbl = 0; dbl < 2; dbl++) {
        vull_split_filename_ex(text.c_str(), folder, name, ext, dbl);
        check_path(folder);
        check_path(name);
        check_path(ext);
    }
    check(vull_get_filename_without_path(text.c_str()) != nullptr, "file name");
    check_path(vull_get_path_without_filename(text.c_str()));
    check_path(vull_resolve_filename(text.c_str(), out));
    vull_unroll_filename(text.c_str(), out);
    check_path(out);
    std::string fixed = text;
    vull_fix_backslashes(fixed.data());
    (void)vull_fopen_vdisk(text.c_str(), "r");
    return 0;
}

/* ---- sdl_controllers.txt ---- */

int run_controllers(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    write_file(scratch_path("sdl_controllers.txt"), data, size);
    reset_config();
    add_sdl_controllers();
    return 0;
}

/* ---- the test input script ---- */

// The input as a script file: a script that starts is run for every frame it
// names, each step pushed as the back end would push it.
int run_input_script(const uint8_t *data, size_t size) {
    write_file(scratch_path("script.txt"), data, size);
    std::string error;
    auto save = [](const char *, const uint32_t *, int, int) { return 0; };
    reset_config();
    cconfig.headless = 1;
    vull_events_hook.quit = [] {}; // a quit step or hot key must not end the run
    if (!vull_script_start(scratch_path("script.txt").c_str(), save, error)) {
        check(!error.empty(), "a refused script names no reason");
        vull_events_hook = {};
        return 0;
    }
    std::vector<vull_script_step> steps;
    check(vull_script_parse(reinterpret_cast<const char *>(data), size, steps, error),
          "a started script does not parse");
    check(size <= size_t(VULL_SCRIPT_MAX_BYTES), "a script over the limit started");
    int32_t last = steps.empty() ? 0 : steps.back().frame;
    for (int32_t f = 0; f < last && f < 1000; f++) {
        vull_script_pass();
        vull_handle_system_messages();
        if (vull_script_dump_wanted()) {
            const uint32_t pixel = 0xff000000u;
            vull_script_picture(&pixel, 1, 1);
        }
    }
    vull_script_stop();
    vull_events_hook = {};
    vullkey_buffer_pos = 0;
    return 0;
}

/* ---- POD files ---- */

// The input read as a pod set from memory; every pod that loads must also be written
// and read back whole.
int run_pod(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<uint8_t> copy(data, data + size);
    cpod *set[CPOD_SET_SIZE];
    vull_load_pod_set_from_memory(copy.data(), (int)size, set);
    for (cpod *pod : set) {
        if (!pod) continue;
        cbuffer *out = vull_create_buffer(0);
        check(vull_save_pod_file("fuzz", pod, out) == 0, "a loaded pod cannot be written");
        out->position = 0;
        cpod *back = vull_load_pod_file("fuzz", out);
        check(back && back->count == pod->count, "a written pod does not read back whole");
        vull_destroy_pod(back);
        vull_destroy_buffer(out);
    }
    cpod_set_clear(set);

    // Opened item by item, with the pods inside its file items: every item that reads
    // writes, and the written pod reads back whole.
    cpod *opened = vull_open_pod_file(vull_fopen_memory(copy.data(), (int)size));
    for (int s = 0; opened && s < opened->capacity; s++) {
        cpod *nested = vull_open_pod_item(opened, s);
        vull_read_lazy_items(nested);
        vull_destroy_pod(nested);
    }
    if (opened) {
        vull_read_lazy_items(opened);
        cbuffer *out = vull_create_buffer(0);
        check(vull_save_pod_file("fuzz", opened, out) == 0, "an opened pod cannot be written");
        out->position = 0;
        cpod *back = vull_load_pod_file("fuzz", out);
        check(opened->count == 0 || (back && back->count == opened->count),
              "an opened pod does not read back whole");
        vull_destroy_pod(back);
        vull_destroy_buffer(out);
        vull_destroy_pod(opened);
    }
    return 0;
}

/* ---- text field: editing, search and undo ---- */

// The input is a script of operations on a field: each byte picks one, the next bytes
// are its arguments. Positions come in through the operations that a click or a key
// makes, so they are always somewhere in the text, as in the field's own use.
int run_ctext(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    ctext *r = vull_create_ctext(nullptr, 16 + next() % 200);
    check(r != nullptr, "text field");
    r->char_width = 4;
    r->line_height = 6;
    r->tab_width = 16;
    vull_backup_ctext(r);
    auto len = [r] { return (int)std::strlen(r->text); };
    auto place = [&](uint8_t v) { return len() ? v % (len() + 1) : 0; };
    auto bytes = [&](int most) {
        std::string t;
        for (int n = next() % most; n > 0 && at < size; n--) t += (char)(next() | 1); // no NUL
        return t;
    };
    while (at < size) {
        switch (next() % 20) {
        case 0: ctext_insert_character(r, next()); break;
        case 1: ctext_insert_text(r, bytes(24).c_str(), place(next())); break;
        case 2: ctext_insert_text_ex(r, bytes(24).c_str(), place(next()), next() & 1); break;
        case 3: ctext_remove_text(r, place(next()), next() % 32); break;
        case 4: r->cursor = r->sel_start = r->sel_end = place(next()); break;
        case 5:
            r->sel_start = place(next());
            r->sel_end = r->cursor = place(next());
            break;
        case 6: ctextfield_delete_selected(r); break;
        case 7: ctext_duplicate_line(r); break;
        case 8: ctext_move_line(r, next() & 1 ? 1 : -1); break;
        case 9: toggle_block_comment(r); break;
        case 10: ctext_select_from_double_click(r, place(next())); break;
        case 11: ctext_select_from_triple_click(r, place(next())); break;
        case 12: {
            std::string t = bytes(CTEXT_SEARCH_LEN / 8);
            std::memcpy(r->search_text, t.c_str(), t.size() + 1);
            ctext_search_for_string(r, next() & 1 ? 1 : -1);
            break;
        }
        case 13: ctext_search_for_line(r); break;
        case 14: ctext_search_for_bookmark(r, next() & 1 ? 1 : -1); break;
        case 15: ctext_undo(r); break;
        case 16: ctext_redo(r); break;
        case 17: vull_backup_ctext(r); break;
        case 18: vull_backup_ctext_if_editing_newline(r); break;
        default:
            calculate_skip_steps(r, next() & 1 ? 1 : -1);
            start_of_block(r);
            line_x_to_cpos(r, get_line_cpos(r), get_line_x(r));
            ctext_bound_scrolling_to_cursor(r, next() % 8);
            break;
        }
        int n = len();
        check(n <= r->capacity, "text past the field's capacity");
        check(r->cursor >= 0 && r->cursor <= n && r->sel_start >= 0 && r->sel_start <= n &&
                  r->sel_end >= 0 && r->sel_end <= n,
              "cursor or selection outside the text");
    }
    vull_destroy_ctext(r);
    return 0;
}

/* ---- pod sets from a text list ---- */

// The input is the list. Its lines name pods on the virtual disk (kept there for the
// whole run): a full one, one cut short and a "CNOP" entry. A '/' past the start of a
// line is made '_', so a line can name no folder and so no device or file outside.
int run_pod_list(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    static bool made = [] {
        cpod *pod = vull_create_pod(0);
        std::strcpy(pod->name, "listed");
        cpod_add_item(pod, CPOD_PALETTE, vull_create_palette());
        cpod_add_item(pod, CPOD_MATERIAL, vull_create_material());
        cbuffer *whole = vull_create_buffer(0);
        vull_save_pod_file("listed", pod, whole);
        vull_destroy_pod(pod);
        auto put = [](const char *key, const uint8_t *bytes, int n) {
            vull_file *f = vull_fopen_vdisk(key, "w");
            check(f != nullptr, "virtual disk file cannot be made");
            vull_fwrite(bytes, 1, n, f);
        };
        put("full.pod", whole->data, whole->length);
        put("cut.pod", whole->data, whole->length - 5);
        const uint8_t nop[8] = {'C', 'N', 'O', 'P', 0, 0, 0, 0};
        put("nop.pod", nop, 8);
        vull_destroy_buffer(whole);
        return true;
    }();
    (void)made;
    std::vector<uint8_t> list(data, data + size);
    for (size_t i = 1; i < list.size(); i++)
        if (list[i] == '/' && list[i - 1] != '\n' && list[i - 1] != '\r') list[i] = '_';
    std::string path = scratch_path("list.txt");
    write_file(path, list.data(), list.size());
    cpod *set[CPOD_SET_SIZE];
    vull_load_pod_set_from_text_file(path.c_str(), set);
    for (cpod *pod : set) check(!pod || pod->count > 0, "an empty pod in a set");
    cpod_set_clear(set);
    return 0;
}

} // namespace

// the pod entries read sound and synth items
void hostile_attach() { vull_sound_attach(); }

const hostile_entry hostile_entries[] = {
    {"config", run_config},   {"args", run_args},
    {"image", run_image},     {"stable", run_stable},
    {"charset", run_charset}, {"undo", run_undo},
    {"disk", run_disk},       {"controllers", run_controllers},
    {"ctext", run_ctext},     {"pod_list", run_pod_list},
    {"pod", run_pod},         {"input_script", run_input_script},
    {nullptr, nullptr},
};
