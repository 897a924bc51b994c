// System services: per-user, program, desktop and working folders, folder
// listing, file tests and dates.
#include "platform/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

/* ---- reading files ---- */

FILE *vull_open_read(const char *path, int64_t max) {
    if (!path || !*path) return nullptr;
    // Without blocking: a pipe opens at once here and is refused by its type below.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    int flags = -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > max ||
        (flags = ::fcntl(fd, F_GETFL)) < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    FILE *f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

/* ---- folders and paths ---- */

static bool ends_with_slash(const char *s) {
    size_t n = strlen(s);
    return n > 0 && s[n - 1] == '/';
}

// out = folder [+ '/'] + name. On overflow out is emptied and -1 returned.
static int join_path(char *out, size_t out_size, const char *folder, const char *name) {
    if (!out || out_size == 0) return -1;
    if (!name) name = "";
    int n = snprintf(out, out_size, "%s%s%s", folder,
                     ends_with_slash(folder) || !*folder ? "" : "/", name);
    if (n < 0 || size_t(n) >= out_size) {
        out[0] = 0;
        return -1;
    }
    return 0;
}

static int fail_path(char *out, size_t out_size) {
    if (out && out_size > 0) out[0] = 0;
    return -1;
}

static int set_name_only(char *out, size_t out_size, const char *name) {
    return join_path(out, out_size, "", name);
}

// A configured folder counts when it does not start with NUL or a blank.
static bool configured(const char *path) { return path[0] != 0 && path[0] != ' '; }

static const char *home_env() {
    const char *home = getenv("HOME");
    return home && *home ? home : nullptr;
}

// folder = $HOME + tail; false when that does not fit the engine path length.
static bool home_folder(char (&folder)[VULL_PLAT_PATH_LEN], const char *home, const char *tail) {
    int n = snprintf(folder, sizeof folder, "%s%s", home, tail);
    return n >= 0 && size_t(n) < sizeof folder;
}

// A configured folder is made (one level) and used as it is.
static int in_configured_folder(const char *folder, const char *name, char *out, size_t out_size) {
    vull_mkdir(folder);
    return join_path(out, out_size, folder, name);
}

int vull_prefix_with_appdata_path(const char *name, char *out, size_t out_size) {
    if (configured(vull_plat_text(vull_plat_config.home)))
        return in_configured_folder(vull_plat_text(vull_plat_config.home), name, out, out_size);
    const char *home = home_env();
    if (!home) return set_name_only(out, out_size, name);
    char folder[VULL_PLAT_PATH_LEN];
    if (!home_folder(folder, home, "/.tarnwicker")) return fail_path(out, out_size);
    vull_mkdir(folder);
    std::string tail = std::string("/.tarnwicker/") + vull_plat_text(vull_plat_config.app_title);
    if (!home_folder(folder, home, tail.c_str())) return fail_path(out, out_size);
    vull_mkdir(folder);
    return join_path(out, out_size, folder, name);
}

int vull_prefix_with_program_path(const char *name, char *out, size_t out_size) {
    char folder[512] = {0};
    // 511 at most, so the zeroed buffer always stays terminated.
    if (readlink("/proc/self/exe", folder, sizeof folder - 1) <= 0) {
        vull_plat_log("** ERROR: vull_prefix_with_program_path failed.\n");
        snprintf(folder, sizeof folder, "./");
    } else if (char *slash = strrchr(folder, '/')) {
        slash[1] = 0;
    } else {
        snprintf(folder, sizeof folder, "./");
    }
    return join_path(out, out_size, folder, name);
}

int vull_prefix_with_desktop_path(const char *name, char *out, size_t out_size) {
    if (configured(vull_plat_text(vull_plat_config.desktop_path)))
        return in_configured_folder(vull_plat_text(vull_plat_config.desktop_path), name, out,
                                    out_size);
    const char *home = home_env();
    if (!home) return set_name_only(out, out_size, name);
    char folder[VULL_PLAT_PATH_LEN];
    if (!home_folder(folder, home, "/Desktop/")) return fail_path(out, out_size);
    return join_path(out, out_size, folder, name);
}

int vull_prefix_with_current_path(const char *name, char *out, size_t out_size) {
    char folder[VULL_PLAT_PATH_LEN];
    if (!getcwd(folder, sizeof folder)) return set_name_only(out, out_size, name);
    return join_path(out, out_size, folder, name);
}

void vull_mkdir(const char *path) {
    if (path && *path) mkdir(path, 0755);
}

int vull_remove(const char *path) { return path ? remove(path) : -1; }

/* ---- folder listing ---- */

int vull_find_first(const char *folder, const char *pattern, vull_find_rec *rec, uint32_t mask) {
    if (!rec) return 1;
    *rec = vull_find_rec{};
    // A cut folder or suffix would list or match something else: list nothing.
    if (!folder || strlen(folder) >= sizeof rec->folder) return 1;
    snprintf(rec->folder, sizeof rec->folder, "%s", folder);
    if (pattern && pattern[0] == '*') {
        if (strlen(pattern + 1) >= sizeof rec->suffix) return 1;
        snprintf(rec->suffix, sizeof rec->suffix, "%s", pattern + 1);
        rec->suffix_len = int32_t(strlen(rec->suffix));
    }
    rec->dir = opendir(folder);
    rec->mask = mask;
    return vull_find_next(rec);
}

int vull_find_next(vull_find_rec *rec) {
    if (!rec || !rec->dir) return 1;
    DIR *dir = static_cast<DIR *>(rec->dir);
    while (dirent *entry = readdir(dir)) {
        snprintf(rec->name, sizeof rec->name, "%s", entry->d_name);
        char full[512];
        int n = snprintf(full, sizeof full, "%s/%s", rec->folder, rec->name);
        if (n < 0 || size_t(n) >= sizeof full) continue; // would name another file when cut
        struct stat st {};
        if (stat(full, &st) == 0) {
            rec->mode = uint32_t(st.st_mode);
            rec->size = st.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : uint32_t(st.st_size);
            rec->time = int64_t(st.st_mtime);
        } else {
            rec->mode = 0; // never shares a bit with a mask, so the entry is skipped
            rec->size = 0;
            rec->time = 0;
        }
        size_t len = strlen(rec->name);
        if (len < size_t(rec->suffix_len)) continue;
        if (strcasecmp(rec->name + len - size_t(rec->suffix_len), rec->suffix) != 0) continue;
        if (rec->mode & rec->mask) return 0;
    }
    return 1;
}

int vull_find_close(vull_find_rec *rec) {
    if (rec && rec->dir) {
        closedir(static_cast<DIR *>(rec->dir));
        rec->dir = nullptr;
    }
    return 0;
}

/* ---- file tests ---- */

// Asked of the path without opening it (a pipe would block); else of the virtual disk.
int vull_file_exists(const char *path) {
    if (!path) return 0;
    struct stat st {};
    if (::stat(path, &st) == 0) return 1;
    return vull_plat_vdisk_has(path);
}

int vull_file_read_only(const char *path) {
    struct stat st {};
    if (!path || ::stat(path, &st) != 0) return 0;
    if (::access(path, W_OK) != 0) return 1;
    return ::geteuid() == 0 && !(st.st_mode & S_IWUSR) ? 1 : 0;
}

// Opening the folder is what a listing would do to find its own "." entry.
int vull_directory_exists(const char *path) {
    if (!path) return 0;
    DIR *dir = opendir(path);
    if (!dir) return 0;
    closedir(dir);
    return 1;
}

/* ---- dates ---- */

void vull_get_datetime(vull_datetime_rec *rec, int local) {
    if (!rec) return;
    rec->year = rec->month = rec->day = rec->hour = rec->minute = rec->second = 0;
    time_t now = time(nullptr);
    tm t{};
    if (!(local ? localtime_r(&now, &t) : gmtime_r(&now, &t))) return;
    rec->year = t.tm_year + 1900;
    rec->month = t.tm_mon + 1;
    rec->day = t.tm_mday;
    rec->hour = t.tm_hour;
    rec->minute = t.tm_min;
    rec->second = t.tm_sec;
}

int vull_get_date(int *year, int *month, int *day) {
    time_t now = time(nullptr);
    tm t{};
    if (!localtime_r(&now, &t)) {
        vull_plat_log("warning: vull_get_date failed\n");
        return 0;
    }
    if (year) *year = t.tm_year + 1900;
    if (month) *month = t.tm_mon + 1;
    if (day) *day = t.tm_mday;
    return (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
}

void vull_print_date(time_t when, char *out) {
    if (!out) return;
    out[0] = 0;
    tm t{};
    if (localtime_r(&when, &t)) strftime(out, 32, "%Y-%m-%d %H:%M:%S", &t);
}
