// Engine file layer: one record for C-library streams and memory blocks.
//
// Memory files never touch bytes outside their block: every size is computed in 64 bits,
// reads outside [0, length) copy nothing, writes at a negative position are refused, a
// growable block grows first and a fixed block (the caller's) cuts writes at its end.
#include "engine/disk.h"
#include "engine/vull.h"
#include "platform/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "engine files store values in the host's order, which must be little-endian");

static bool is_stream(const vull_file *f) { return f && f->kind == VULL_FILE_STREAM && f->stream; }
static bool is_memory(const vull_file *f) { return f && f->kind == VULL_FILE_MEMORY; }

/*
** Opening and closing
*/

vull_file *vull_fopen(const char *path, const char *mode, int64_t max) {
    if (!path || !mode) return nullptr;
    bool reading = mode[0] == 'r' && !std::strchr(mode, '+');
    FILE *fp = reading ? vull_open_read(path, max) : std::fopen(path, mode);
    if (fp) {
        auto *f = static_cast<vull_file *>(vull_calloc((int)sizeof(vull_file)));
        if (!f) {
            std::fclose(fp);
            return nullptr;
        }
        f->kind = VULL_FILE_STREAM;
        f->stream = fp;
        return f;
    }
    if (mode[0] == 'r') return vull_fopen_vdisk(path, mode);
    return nullptr;
}

vull_file *vull_fopen_memory(void *data, int length) {
    if (length < 0 || (!data && length > 0)) return nullptr;
    auto *f = static_cast<vull_file *>(vull_calloc((int)sizeof(vull_file)));
    if (!f) return nullptr;
    f->kind = VULL_FILE_MEMORY;
    f->data = static_cast<uint8_t *>(data);
    f->length = length;
    return f;
}

int vull_fclose(vull_file *f) {
    if (!f || f->vdisk) return 0;
    int result = 0;
    if (f->kind == VULL_FILE_STREAM && f->stream && std::fclose(f->stream) != 0) result = EOF;
    if (f->capacity != 0) vull_free(f->data);
    vull_free(f);
    return result;
}

/*
** Raw memory transfers
*/

// Copies up to k bytes from the position; nothing when the position lies outside the data.
static int64_t mem_read(void *buf, int64_t k, vull_file *f) {
    if (k <= 0 || !f->data || f->position < 0 || f->position >= f->length) return 0;
    int64_t n = std::min<int64_t>(k, (int64_t)f->length - f->position);
    std::memcpy(buf, f->data + f->position, (size_t)n);
    f->position += (int32_t)n;
    return n;
}

// Writes k bytes (zeros for a null source) at the position; returns the bytes written.
static int64_t mem_write(const void *buf, int64_t k, vull_file *f) {
    if (k <= 0 || f->position < 0) return 0;
    int64_t end = (int64_t)f->position + k;
    if (end > VULL_ALLOC_CAP) return 0;
    if (f->capacity != 0) {
        if (vull_allocate_buffer_size(f, (int)end) != 0) return 0;
    } else {
        // The caller's block is exactly its length: cut the write there.
        k = std::min<int64_t>(k, (int64_t)f->length - f->position);
        if (k <= 0 || !f->data) return 0;
    }
    if (buf)
        std::memcpy(f->data + f->position, buf, (size_t)k);
    else
        std::memset(f->data + f->position, 0, (size_t)k);
    f->position += (int32_t)k;
    if (f->position > f->length) f->length = f->position;
    return k;
}

/*
** Reading and writing
*/

int vull_fread(void *buf, int size, int n, vull_file *f) {
    if (!buf || size <= 0 || n <= 0) return 0;
    if (is_stream(f)) return (int)std::fread(buf, (size_t)size, (size_t)n, f->stream);
    if (is_memory(f)) return (int)mem_read(buf, (int64_t)size * n, f);
    return 0;
}

int vull_fwrite(const void *buf, int size, int n, vull_file *f) {
    if (size <= 0 || n <= 0) return 0;
    if (is_stream(f)) return buf ? (int)std::fwrite(buf, (size_t)size, (size_t)n, f->stream) : 0;
    if (is_memory(f)) return (int)mem_write(buf, (int64_t)size * n, f);
    return 0;
}

int vull_feof(vull_file *f) {
    if (is_stream(f)) return std::feof(f->stream);
    if (is_memory(f)) return f->position >= f->length;
    return 1;
}

int vull_fseek(vull_file *f, int offset, int whence) {
    if (whence != SEEK_CUR) return 0;
    if (is_stream(f)) return std::fseek(f->stream, offset, SEEK_CUR);
    if (is_memory(f)) {
        // Positions outside the data are allowed; the transfers above check them.
        int64_t p = (int64_t)f->position + offset;
        f->position = vull_saturate_int32(p);
    }
    return 0;
}

int vull_fgetc(vull_file *f) {
    if (is_stream(f)) return std::fgetc(f->stream);
    if (is_memory(f) && f->data && f->position >= 0 && f->position < f->length)
        return f->data[f->position++];
    return 0;
}

/*
** Engine line reader. CR, LF and CR LF all end a line; the break is not stored.
*/

static int lr_getc(vull_file *f) { // 0..255, or -1 at the end of the data
    if (is_stream(f)) return std::fgetc(f->stream);
    if (f->data && f->position >= 0 && f->position < f->length) return f->data[f->position++];
    return -1;
}

// A stream whose reads fail (a folder opened for reading, an I/O error) never reaches its
// end flag: its error flag ends it too, or every call would return another empty line.
static bool lr_at_end(vull_file *f) {
    if (is_stream(f)) return std::feof(f->stream) != 0 || std::ferror(f->stream) != 0;
    return f->position < 0 || f->position >= f->length;
}

// After a CR: a following LF belongs to it; anything else is put back for the next line.
static void lr_after_cr(vull_file *f) {
    int c = lr_getc(f);
    if (c == '\n' || c < 0) return;
    if (is_stream(f))
        std::ungetc(c, f->stream);
    else
        f->position--;
}

enum { LR_END, LR_BREAK, LR_FULL }; // why lr_rest stopped

// The rest of a line from its first byte c (not a line end): hands each byte to keep() until
// the line ends, the data ends or keep() returns false.
template <typename Keep> static int lr_rest(vull_file *f, int c, Keep keep) {
    while (keep(c)) {
        c = lr_getc(f);
        if (c < 0) return LR_END;
        if (c == '\n') return LR_BREAK;
        if (c == '\r') {
            lr_after_cr(f);
            return LR_BREAK;
        }
    }
    return LR_FULL;
}

static char *line_reader(char *buf, int n, vull_file *f) {
    if (!buf || n <= 0) return nullptr;
    buf[0] = 0;
    if (!is_stream(f) && !is_memory(f)) return nullptr;
    if (n < 2 || lr_at_end(f)) return nullptr;
    int c = lr_getc(f);
    if (c < 0 && is_stream(f) && std::ferror(f->stream)) return nullptr;
    if (c == '\r') lr_after_cr(f);
    if (c == '\n' || c == '\r' || c < 0 || c == 255) return buf;
    int stored = 0;
    lr_rest(f, c, [&](int b) {
        buf[stored++] = (char)b;
        return stored < n - 1;
    });
    buf[stored] = 0;
    return buf;
}

int vull_fgets_line(cbuffer *line, vull_file *f, int max) {
    if (!line || vull_allocate_buffer_size(line, 1) != 0) return -1;
    vull_clear_buffer(line);
    line->data[0] = 0;
    if (!is_stream(f) && !is_memory(f)) return -1;
    if (lr_at_end(f)) return -1;
    int c = lr_getc(f);
    if (c < 0) return -1;
    if (c == '\r') lr_after_cr(f);
    if (c == '\n' || c == '\r' || c == 255) return 1;
    // Bytes gather in a chunk and join the buffer in blocks: one call per byte costs too much.
    uint8_t chunk[512];
    int held = 0;
    int64_t total = 0;
    auto flush = [&] {
        bool ok = held == 0 || cbuffer_add_data(line, chunk, held) != nullptr;
        held = 0;
        return ok;
    };
    int end = lr_rest(f, c, [&](int b) {
        if (++total > max) return false; // too long: refused without reading on
        chunk[held++] = (uint8_t)b;
        return held < (int)sizeof chunk || flush();
    });
    // The NUL ends the text view without counting as part of the line.
    if (end == LR_FULL || !flush() || !cbuffer_add_uint8(line, 0)) {
        vull_clear_buffer(line);
        line->data[0] = 0;
        return total > max ? -2 : -1;
    }
    line->length--;
    return end == LR_BREAK ? 1 : 0;
}

char *vull_fgets(char *buf, int n, vull_file *f) {
    if (is_stream(f)) {
        if (!buf || n <= 0) return nullptr;
        return std::fgets(buf, n, f->stream);
    }
    return line_reader(buf, n, f);
}

char *vull_fgets_sensitive(char *buf, int n, vull_file *f) { return line_reader(buf, n, f); }

/*
** Formatted text
*/

static int write_text(vull_file *f, const char *text) {
    vull_fwrite(text, 1, (int)std::strlen(text), f);
    return 0;
}

int vull_fprintf_1d(vull_file *f, const char *format, int a) {
    if (!format) return 0;
    char text[1024];
    std::snprintf(text, sizeof text, format, a);
    return write_text(f, text);
}

int vull_fprintf_4x(vull_file *f, const char *format, int a, int b, int c, int d) {
    if (!format) return 0;
    char text[1024];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return write_text(f, text);
}

int vull_fprintf_1s(vull_file *f, const char *format, const char *text) {
    if (!format) return 0;
    if (!text) text = "";
    int needed = std::snprintf(nullptr, 0, format, text);
    if (needed <= 0) return 0;
    std::string out((size_t)needed + 1, '\0');
    std::snprintf(out.data(), out.size(), format, text);
    vull_fwrite(out.data(), 1, needed, f);
    return 0;
}

/*
** Typed little-endian values
*/

template <typename T> static T read_value(vull_file *f) {
    uint8_t bytes[sizeof(T)] = {};
    if (is_stream(f))
        (void)std::fread(bytes, 1, sizeof(T), f->stream);
    else if (is_memory(f))
        mem_read(bytes, sizeof(T), f);
    T v;
    std::memcpy(&v, bytes, sizeof(T));
    return v;
}

template <typename T> static int write_value(T v, vull_file *f) {
    if (is_stream(f)) return (int)std::fwrite(&v, sizeof(T), 1, f->stream);
    if (is_memory(f)) return (int)mem_write(&v, sizeof(T), f);
    return 0;
}

int8_t vull_fread_int8(vull_file *f) { return read_value<int8_t>(f); }
uint8_t vull_fread_uint8(vull_file *f) { return read_value<uint8_t>(f); }
int16_t vull_fread_int16(vull_file *f) { return read_value<int16_t>(f); }
uint16_t vull_fread_uint16(vull_file *f) { return read_value<uint16_t>(f); }
int32_t vull_fread_int32(vull_file *f) { return read_value<int32_t>(f); }
uint32_t vull_fread_uint32(vull_file *f) { return read_value<uint32_t>(f); }
float vull_fread_float(vull_file *f) { return read_value<float>(f); }
int vull_fwrite_int8(int8_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_uint8(uint8_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_int16(int16_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_uint16(uint16_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_int32(int32_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_uint32(uint32_t v, vull_file *f) { return write_value(v, f); }
int vull_fwrite_float(float v, vull_file *f) { return write_value(v, f); }

template <typename T> static int read_values(T *buf, int count, vull_file *f) {
    if (!buf || count <= 0) return 0;
    if (is_stream(f)) return (int)std::fread(buf, sizeof(T), (size_t)count, f->stream);
    if (is_memory(f))
        return (int)(mem_read(buf, (int64_t)count * (int64_t)sizeof(T), f) / (int64_t)sizeof(T));
    return 0;
}

template <typename T> static int write_values(const T *data, int count, vull_file *f) {
    if (!data || count <= 0) return 0;
    if (is_stream(f)) return (int)std::fwrite(data, sizeof(T), (size_t)count, f->stream);
    if (is_memory(f))
        return (int)(mem_write(data, (int64_t)count * (int64_t)sizeof(T), f) / (int64_t)sizeof(T));
    return 0;
}

int vull_fread_int16s(int16_t *buf, int count, vull_file *f) { return read_values(buf, count, f); }
int vull_fwrite_int16s(const int16_t *data, int count, vull_file *f) {
    return write_values(data, count, f);
}
int vull_fread_int32s(int32_t *buf, int count, vull_file *f) { return read_values(buf, count, f); }
int vull_fwrite_int32s(const int32_t *data, int count, vull_file *f) {
    return write_values(data, count, f);
}

/*
** Paths
*/

static char shared_path[VULL_PATH_LEN];   // result of vull_fix_path_string(path, null)
static char shared_folder[VULL_PATH_LEN]; // result of vull_get_path_without_filename

// Copies at most VULL_PATH_LEN - 1 characters and terminates.
static void copy_path(char *out, const char *src, size_t len) {
    len = std::min(len, (size_t)VULL_PATH_LEN - 1);
    std::memcpy(out, src, len);
    out[len] = 0;
}

void vull_fix_backslashes(char *path) {
    if (!path) return;
    for (; *path; path++)
        if (*path == '\\') *path = '/';
}

// Control characters are dropped; bytes from 128 up are kept so UTF-8 folder names survive.
char *vull_fix_path_string(const char *path, char *out) {
    if (!out) out = shared_path;
    out[0] = 0;
    if (!path) return out;
    while (vull_is_blank(*path)) path++;
    const int room = VULL_PATH_LEN - 2; // leaves space for the closing '/' and the NUL
    int len = 0;
    for (const char *p = path; *p && len < room; p++) {
        unsigned char c = (unsigned char)*p;
        if (c < 32) continue;
        if (c == '\\') c = '/';
        if (c == '/' && len > 0 && out[len - 1] == '/') continue;
        out[len++] = (char)c;
    }
    while (len > 0 && out[len - 1] == ' ') len--;
    if (len > 0 && out[len - 1] != '/') out[len++] = '/';
    out[len] = 0;
    return out;
}

char *vull_get_filename_extension(const char *path, char *out) {
    if (!out) return nullptr;
    out[0] = 0;
    if (!path) return out;
    const char *dot = std::strrchr(path, '.');
    if (dot) copy_path(out, dot + 1, std::strlen(dot + 1));
    return out;
}

void vull_split_filename_ex(const char *path, char *folder, char *name, char *extension,
                            int double_extension) {
    if (folder) folder[0] = 0;
    if (name) name[0] = 0;
    if (extension) extension[0] = 0;
    if (!path) return;
    size_t len = std::strlen(path);
    if (len > (size_t)VULL_PATH_LEN - 1) {
        vull_debug("vull_split_filename_ex: file_name too long\n");
        return;
    }
    // The first '.' or '/' from the end decides whether there is an extension.
    size_t ext_start = len;
    for (size_t i = len; i-- > 0;) {
        if (path[i] == '/') break;
        if (path[i] == '.') {
            ext_start = i;
            if (double_extension) {
                for (size_t j = i; j-- > 0;) {
                    if (path[j] == '/') break;
                    if (path[j] == '.') {
                        ext_start = j;
                        break;
                    }
                }
            }
            break;
        }
    }
    size_t name_start = ext_start;
    while (name_start > 0 && path[name_start - 1] != '/') name_start--;
    if (folder) copy_path(folder, path, name_start);
    if (name) copy_path(name, path + name_start, ext_start - name_start);
    if (extension) copy_path(extension, path + ext_start, len - ext_start);
}

void vull_split_filename(const char *path, char *folder, char *name, char *extension) {
    vull_split_filename_ex(path, folder, name, extension, 0);
}

char *vull_get_filename_without_path(const char *path) {
    if (!path) return nullptr;
    const char *start = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') start = p + 1;
    return const_cast<char *>(start);
}

char *vull_get_path_without_filename(const char *path) {
    shared_folder[0] = 0;
    if (!path) return shared_folder;
    size_t len = std::min(std::strlen(path), (size_t)VULL_PATH_LEN - 1);
    size_t cut = 0;
    for (size_t i = 0; i < len; i++)
        if (path[i] == '/' || path[i] == '\\') cut = i + 1;
    copy_path(shared_folder, path, cut);
    return shared_folder;
}

static bool is_separator(char c) { return c == '/' || c == '\\'; }

// Working folder + '/' + name, sized so that no working folder can be cut.
static bool with_current_path(const char *name, std::string &out) {
    std::string buf(std::strlen(name) + VULL_PATH_LEN + 2, '\0');
    if (vull_prefix_with_current_path(name, buf.data(), buf.size()) != 0) return false;
    out = buf.c_str();
    return true;
}

// A result that does not fit the engine's path length is returned empty rather than cut,
// so a truncated path can never name some other file.
char *vull_resolve_filename(const char *path, char *out) {
    if (!out) return nullptr;
    out[0] = 0;
    if (!path) return out;
    // Only a leading separator makes a path absolute: "a:b" is a name like any other here.
    bool absolute = is_separator(path[0]);
    std::string full = path;
    if (!absolute && !with_current_path(path, full)) return out;

    std::string res;
    size_t i = 0;
    if (is_separator(full[0])) {
        res = "/";
        i = 1;
    }
    while (i < full.size()) {
        size_t end = i;
        while (end < full.size() && !is_separator(full[end])) end++;
        std::string comp = full.substr(i, end - i);
        bool more = end < full.size(); // a separator (and maybe more) follows
        i = end < full.size() ? end + 1 : end;
        if (comp.empty() || comp == ".") continue;
        if (comp == "..") {
            if (!res.empty() && res != "/") {
                size_t k = res.size();
                if (res.back() == '/') k--;
                size_t cut = res.find_last_of("/\\", k == 0 ? 0 : k - 1);
                if (k == 0 || cut == std::string::npos)
                    res.clear();
                else
                    res.resize(cut + 1);
            }
            continue;
        }
        if (comp == "~") {
            const char *home = std::getenv("HOME");
            if (home) {
                res = home;
                if (res.empty() || res.back() != '/') res += '/';
            }
            continue;
        }
        res += comp;
        if (more) res += '/';
    }
    if (res.size() > (size_t)VULL_PATH_LEN - 1) return out;
    copy_path(out, res.data(), res.size());
    return out;
}

int vull_unroll_filename(const char *path, char *out) {
    if (!out) return 0;
    vull_resolve_filename(path, out);
    int len = (int)std::strlen(out);
    if ((len == 0 || out[len - 1] != '/') && len < VULL_PATH_LEN - 1) {
        out[len] = '/';
        out[len + 1] = 0;
    }
    return len;
}

bool vull_absolute_folder(const char *text, char *out) {
    if (!out) return false;
    char fixed[VULL_PATH_LEN];
    vull_fix_path_string(text, fixed);
    out[0] = 0;
    if (!fixed[0]) return true;
    char resolved[VULL_PATH_LEN];
    vull_resolve_filename(fixed, resolved);
    size_t len = std::strlen(resolved);
    if (len == 0 || len + 1 >= (size_t)VULL_PATH_LEN) return false;
    if (resolved[len - 1] != '/') resolved[len++] = '/';
    copy_path(out, resolved, len);
    return true;
}

/*
** 6-bit character tables
*/

static constexpr char int6_alphabet[] =
    ".ABCDEFGHIJKLMNOPQRSTUVWXYZ01234_abcdefghijklmnopqrstuvwxyz56789";
static_assert(sizeof(int6_alphabet) == 65, "64 characters and a NUL");

static constexpr auto int6_inverse = [] {
    std::array<uint8_t, 128> t{};
    for (int i = 0; i < 64; i++) t[(unsigned char)int6_alphabet[i]] = (uint8_t)i;
    return t;
}();

char vull_int6_to_ascii(int value) { return value >= 0 && value < 64 ? int6_alphabet[value] : 0; }

int vull_ascii_to_int6(int code) { return code >= 0 && code < 128 ? int6_inverse[code] : 0; }

/*
** Whole files
*/

constexpr int FILE_PIECE = 65536;

cbuffer *vull_load_file(const char *path, int64_t max) {
    max = std::clamp<int64_t>(max, 0, VULL_ALLOC_CAP);
    FILE *fp = vull_open_read(path, max);
    if (!fp) return nullptr;
    cbuffer *buf = vull_create_buffer(1024);
    std::string piece(FILE_PIECE, '\0');
    bool ok = buf != nullptr;
    int64_t total = 0;
    while (ok) {
        size_t got = std::fread(piece.data(), 1, FILE_PIECE, fp);
        if (got == 0) {
            ok = !std::ferror(fp);
            break;
        }
        total += (int64_t)got;
        ok = total <= max && vull_fwrite(piece.data(), 1, (int)got, buf) == (int)got; // grew since
    }
    std::fclose(fp);
    if (!ok) {
        vull_destroy_buffer(buf);
        return nullptr;
    }
    return buf;
}

// A target that cannot be written completely reports 2, like one that cannot be opened;
// it then keeps what it held.
int vull_copy_file(const char *source, const char *target, int64_t max) {
    if (!source || !target) return 1;
    cbuffer *data = vull_load_file(source, max);
    if (!data) return 1;
    int failed = vull_save_file(target, data->data, data->length);
    vull_destroy_buffer(data);
    return failed ? 2 : 0;
}

/*
** The one writer of the user's files
*/

namespace {

// Every byte, through short writes and interruptions; false on the first error.
bool write_all(int fd, const uint8_t *p, int64_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, (size_t)std::min<int64_t>(n, FILE_PIECE));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= w;
    }
    return true;
}

std::atomic<unsigned> temp_counter{0};

constexpr const char *TEMP_PREFIX = ".z6save-";
constexpr int STALE_AGE_S = 60;         // younger temporary files may still be being written
constexpr int STALE_SCAN_ENTRIES = 4096; // entries of a folder looked at for them
constexpr size_t STALE_FOLDERS = 256;    // folders whose last look is remembered

std::string folder_of(const std::string &target) {
    size_t slash = target.rfind('/');
    return slash == std::string::npos ? "" : target.substr(0, slash + 1);
}

// The writer's own temporary-file name of a process: ".z6save-PID-N.tmp"; 0 for other names.
long temp_owner(const char *name) {
    long pid = 0;
    unsigned long n = 0;
    int used = 0;
    if (std::sscanf(name, ".z6save-%ld-%lu.tmp%n", &pid, &n, &used) != 2 || name[used] != 0)
        return 0;
    std::string again = TEMP_PREFIX + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
    return again == name && pid > 0 ? pid : 0;
}

// A writer killed mid-write leaves its temporary file: those of processes no longer running,
// older than a minute, are removed when their folder is next written (looked at once a minute).
void remove_stale_temps(const std::string &folder) {
    static std::mutex lock;
    static std::vector<std::pair<std::string, std::time_t>> looked;
    std::lock_guard<std::mutex> hold(lock);
    std::time_t now = std::time(nullptr);
    auto it = std::find_if(looked.begin(), looked.end(),
                           [&](const auto &l) { return l.first == folder; });
    if (it != looked.end() && now - it->second < STALE_AGE_S && now >= it->second) return;
    if (it != looked.end())
        it->second = now;
    else {
        if (looked.size() >= STALE_FOLDERS) looked.clear();
        looked.emplace_back(folder, now);
    }
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    int seen = 0;
    while (dirent *e = ::readdir(dir)) {
        if (++seen > STALE_SCAN_ENTRIES) break;
        long pid = temp_owner(e->d_name);
        if (pid == 0 || pid == (long)::getpid()) continue;
        if (::kill((pid_t)pid, 0) == 0 || errno != ESRCH) continue; // running, or not ours to ask
        std::string p = folder + e->d_name;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (now - st.st_mtime < STALE_AGE_S) continue;
        ::unlink(p.c_str());
    }
    ::closedir(dir);
}

// A new file beside the target that no one else uses: hidden, named after this process,
// created with the mode it ends with (the umask may only take permissions away).
int create_temp(const std::string &target, mode_t mode, std::string &temp) {
    std::string folder = folder_of(target);
    for (int tries = 0; tries < 100; tries++) {
        temp = folder + TEMP_PREFIX + std::to_string((long)::getpid()) + "-" +
               std::to_string(temp_counter++) + ".tmp";
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The file a dangling link names at the end of its chain (relative links from their own
// folder); empty when the chain is too long or a link cannot be read.
std::string dangling_target(const char *path) {
    std::string at = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return errno == ENOENT ? at : "";
        if (!S_ISLNK(st.st_mode)) return "";
        std::vector<char> link(VULL_PATH_LEN * 4);
        ssize_t n = ::readlink(at.c_str(), link.data(), link.size() - 1);
        if (n <= 0 || size_t(n) >= link.size() - 1) return "";
        std::string next(link.data(), size_t(n));
        at = next[0] == '/' ? next : folder_of(at) + next;
    }
    return "";
}

// After the rename the folder's entry is on the disk too, so a power cut cannot bring the
// old file back.
void sync_folder(const std::string &target) {
    std::string folder = folder_of(target);
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

// One save in progress. Small writes gather in a buffer so that a file made piece by piece
// (a GIF as it is encoded) costs a write call per 64 KB, not one per piece.
struct vull_save {
    int fd = -1;
    bool ok = true;
    bool in_place = false; // a device or a pipe: nothing to rename
    bool exists = false;
    bool reused = false; // written over a spare, which may be longer than this file
    mode_t mode = 0;
    int flags = 0;
    int64_t written = 0;
    std::string path, target, temp;
    std::vector<uint8_t> pending;
};

namespace {

bool save_flush_buffer(vull_save *s) {
    if (s->ok && !s->pending.empty())
        s->ok = write_all(s->fd, s->pending.data(), int64_t(s->pending.size()));
    s->pending.clear();
    return s->ok;
}

// Files renamed into place whose flush to the disk waits for vull_flush_saved_files.
constexpr size_t UNFLUSHED_MAX = 64;
std::vector<std::string> unflushed;

// A file replaced by a VULL_SAVE_REPEATED save, kept under the temporary name the new file
// had: the next save of the same target writes into it and swaps it in, where making a new
// file and deleting the replaced one would cost ten times the write (more on a file system
// that avoids reusing inodes it just freed). Kept until vull_flush_saved_files.
struct spare_file {
    std::string path, target, temp; // path as the caller gave it
    dev_t dev = 0;
    ino_t target_ino = 0; // the target as the swap left it: another writer's save ends the spare
};
std::vector<spare_file> spares; // at most UNFLUSHED_MAX: a flush empties both

void drop_spare(size_t i) {
    ::unlink(spares[i].temp.c_str());
    spares.erase(spares.begin() + std::ptrdiff_t(i));
}

// The target the last save of path resolved, while path still names that file and the
// target's own name is still it: resolving a path anew costs a look at each of its folders.
bool spare_target(const char *path, const struct stat &now, std::string &target) {
    for (const spare_file &sp : spares) {
        if (sp.path != path) continue;
        struct stat t {};
        if (sp.dev != now.st_dev || sp.target_ino != now.st_ino ||
            ::lstat(sp.target.c_str(), &t) != 0 || !S_ISREG(t.st_mode) || t.st_dev != now.st_dev ||
            t.st_ino != now.st_ino)
            return false;
        target = sp.target;
        return true;
    }
    return false;
}

// The spare of target opened for writing, or -1 (and none kept) when the target is not the
// file the last swap left or the spare is no longer a file of its own: a hard link the user
// made to the replaced file must never be written through.
int open_spare(const std::string &target, const struct stat &now, std::string &temp) {
    for (size_t i = 0; i < spares.size(); i++) {
        if (spares[i].target != target) continue;
        int fd = -1;
        if (spares[i].dev == now.st_dev && spares[i].target_ino == now.st_ino)
            fd = ::open(spares[i].temp.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) {
            drop_spare(i);
            return -1;
        }
        temp = spares[i].temp;
        spares.erase(spares.begin() + std::ptrdiff_t(i)); // in use; the save's end keeps it again
        return fd;
    }
    return -1;
}

void flush_path(const std::string &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

vull_save *vull_save_begin(const char *path, int flags) {
    if (!path || !path[0]) return nullptr;
    struct stat st {};
    bool exists = ::stat(path, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return nullptr;
    auto *s = new vull_save;
    s->flags = flags;
    s->exists = exists;
    s->mode = st.st_mode;
    auto refuse = [s]() -> vull_save * {
        if (s->fd >= 0) ::close(s->fd);
        delete s;
        return nullptr;
    };
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe holds nothing to keep: it is written in place. Opening without
        // blocking refuses a pipe that nobody reads instead of waiting forever.
        s->in_place = true;
        if (vull_file_read_only(path)) return refuse();
        s->fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        int fl = s->fd >= 0 ? ::fcntl(s->fd, F_GETFL) : -1;
        if (fl < 0 || ::fcntl(s->fd, F_SETFL, fl & ~O_NONBLOCK) != 0) return refuse();
        return s;
    }
    // A link stays a link: the file it points at is what gets replaced, or made when the
    // link dangles (as a file only: its missing folders are not made).
    std::string target = path;
    char real[PATH_MAX];
    if (exists && (flags & VULL_SAVE_REPEATED) && spare_target(path, st, target)) {
        // resolved by the last save of this path
    } else if (exists && ::realpath(path, real)) {
        target = real;
    }
    struct stat link {};
    if (!exists && ::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
        target = dangling_target(path);
        if (target.empty()) return refuse();
    }
    // A file made read-only is not replaced behind the user's back, not even by root.
    if (exists && vull_file_read_only(target.c_str())) return refuse();
    remove_stale_temps(folder_of(target));
    s->path = path;
    s->target = target;
    if (flags & VULL_SAVE_REPEATED) {
        s->flags |= VULL_SAVE_FLUSH_LATER;
        if (exists) s->fd = open_spare(target, st, s->temp);
        s->reused = s->fd >= 0;
    }
    if (s->fd < 0) s->fd = create_temp(target, exists ? (st.st_mode & 0777) : 0666, s->temp);
    if (s->fd < 0) return refuse();
    return s;
}

int vull_save_write(vull_save *s, const void *data, int64_t length) {
    if (!s || length < 0 || (!data && length > 0)) {
        if (s) s->ok = false;
        return 1;
    }
    if (!s->ok) return 1;
    constexpr size_t GATHER = 65536;
    constexpr int64_t WHOLE = 4096; // a piece this large with nothing gathered goes out as it is
    const auto *bytes = static_cast<const uint8_t *>(data);
    s->written += length;
    if (s->pending.size() + size_t(length) <= GATHER && (!s->pending.empty() || length < WHOLE)) {
        s->pending.insert(s->pending.end(), bytes, bytes + length);
        return 0;
    }
    if (!save_flush_buffer(s)) return 1;
    s->ok = write_all(s->fd, bytes, length);
    return s->ok ? 0 : 1;
}

int vull_save_end(vull_save *s, bool keep) {
    if (!s) return 1;
    bool ok = save_flush_buffer(s) && keep;
    if (s->in_place) {
        ok = ::close(s->fd) == 0 && ok;
    } else {
        struct stat written {};
        bool known = ::fstat(s->fd, &written) == 0;
        // The exact mode (what the umask took, and the set-id and sticky bits) once written.
        if (ok && s->exists && !(known && (written.st_mode & 07777) == (s->mode & 07777)))
            ok = ::fchmod(s->fd, s->mode & 07777) == 0;
        if (ok && s->reused && !(known && written.st_size == s->written))
            ok = ::ftruncate(s->fd, s->written) == 0;
        // On the disk before it takes the target's name, so a crash leaves one whole file or
        // the other; a caller that saves one file many times a frame may flush it once after.
        bool later = (s->flags & VULL_SAVE_FLUSH_LATER) != 0;
        if (ok && !later && ::fsync(s->fd) != 0 && errno != EINVAL) ok = false;
        bool swap = ok && known && s->exists && (s->flags & VULL_SAVE_REPEATED) &&
                    spares.size() < UNFLUSHED_MAX;
        ok = ::close(s->fd) == 0 && ok;
        // Swapped with the target in one step, the replaced file stays as the next save's spare;
        // a file system that cannot swap names renames as usual.
        const char *temp = s->temp.c_str(), *target = s->target.c_str();
        if (ok && swap && ::renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_EXCHANGE) == 0)
            spares.push_back({s->path, s->target, s->temp, written.st_dev, written.st_ino});
        else if (ok)
            ok = std::rename(s->temp.c_str(), s->target.c_str()) == 0;
        if (!ok) ::unlink(s->temp.c_str());
        if (ok && !later) sync_folder(s->target);
        if (ok && later &&
            std::find(unflushed.begin(), unflushed.end(), s->target) == unflushed.end()) {
            if (unflushed.size() >= UNFLUSHED_MAX) vull_flush_saved_files();
            unflushed.push_back(s->target);
        }
    }
    delete s;
    return ok ? 0 : 1;
}

void vull_flush_saved_files() {
    std::vector<std::string> folders;
    for (const std::string &path : unflushed) {
        flush_path(path);
        std::string folder = folder_of(path);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    while (!spares.empty()) drop_spare(spares.size() - 1);
    for (const std::string &folder : folders) sync_folder(folder); // the renames themselves
    unflushed.clear();
}

int vull_save_file(const char *path, const void *data, int64_t length) {
    if (!path || !path[0] || length < 0 || (!data && length > 0)) return 1;
    vull_save *s = vull_save_begin(path);
    if (!s) return 1;
    vull_save_write(s, data, length);
    return vull_save_end(s);
}
