// Layer platform: window, events, files, clock, sound device; calls nothing of ours.
// (What it needs of the engine is in platform/hooks.h, filled by vull_engine_attach.)
// System services over POSIX and the back end (platform/backend.h): the audio
// device and its nesting lock, the clipboard, folders and paths, directory
// listing, file tests, dates, clocks, threads, downloads and launches through
// external programs, and the fatal-error exit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/hooks.h"

struct vull_bitmap;

// Path buffers: 1023 characters + NUL (the engine's path length).
constexpr int VULL_PLAT_PATH_LEN = 1024;

// ---- services and settings of the engine above (platform/hooks.h) ----
// What the platform calls through them; each does what its table entry's
// comment says when the engine has not filled it.
void vull_plat_log(const char *text);
// Formats as printf, cut to 4095 characters, and logs that.
void vull_plat_logf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void *vull_plat_alloc(int n);
void vull_plat_release(void *p);
void vull_plat_exit();
int vull_plat_vdisk_has(const char *path); // 0 without a virtual disk
inline int32_t vull_plat_get(const int32_t *field, int i = 0) { return field ? field[i] : 0; }
inline const char *vull_plat_text(const char *field) { return field ? field : ""; }

// ---- audio device ----
extern int vull_sound_inited;    // 1 once the audio device is open
extern int vull_audio_is_locked; // nesting depth of the audio lock (main thread only)

// The audio thread's callback: fills `bytes` bytes of 16-bit signed samples.
using vull_audio_callback = void (*)(void *user, uint8_t *stream, int bytes);
// Opens the device for the callback (nothing when mix_buffer_size is 0); 0.
int vull_sound_init_plat(int rate, int channels, vull_audio_callback callback);
int vull_sound_exit_plat();             // the device stays open until the process ends; 0
void vull_lock_audio_plat();            // takes the device lock on the outermost level only
void vull_unlock_audio_plat();          // releases it when the outermost level ends
void vull_lock_audio();                 // the engine's nesting audio lock
void vull_unlock_audio();

// ---- clocks ----
int vull_get_time();       // milliseconds since the platform started counting
uint64_t vull_plat_ticks(); // the same clock in 64 bits, for the event pump
// The clock wraps (it turns negative after about 24 days): differences and
// deadlines are taken modulo 2^32, right for spans under 24 days.
inline int vull_ms_between(int from, int to) { return int(uint32_t(to) - uint32_t(from)); }
inline int vull_ms_later(int t, int ms) { return int(uint32_t(t) + uint32_t(ms)); }
void vull_delay(int ms);
int64_t vull_timer_start(); // starts the CPU-time stopwatch; returns the process CPU time (ns)
int64_t vull_timer_end();   // process CPU time (ns) since vull_timer_start

// ---- clipboard (UTF-8 text) ----
void vull_set_clipboard_text(const char *text);
void vull_set_clipboard_text_preemptive(const char *text);
char *
vull_get_clipboard_text(); // engine-allocated copy (caller frees with vull_free); "" when empty
int vull_has_clipboard_text();
// 0 done; 1 the file does not open or the clipboard refused the text. At most 1 MiB.
int vull_load_clipboard_from_file(const char *path);
// 0 done; 1 no text, or the file is read-only (vull_file_read_only) or does not open.
int vull_save_clipboard_to_file(const char *path);

// ---- reading files ----
// The one guarded open of every file the player or a tool reads: a regular file of at most
// max bytes, open for reading. Null for anything else: a pipe or a device is refused without
// waiting on it, a folder or a larger file before a byte is read.
FILE *vull_open_read(const char *path, int64_t max);

// ---- folders and paths ----
// Each writes folder + name into out (out_size bytes, the engine path length
// unless given). When the result does not fit, out is emptied and -1 returned,
// so a cut path can never name another file; otherwise 0.
int vull_prefix_with_appdata_path(const char *name, char *out,
                                  size_t out_size = VULL_PLAT_PATH_LEN);
int vull_prefix_with_program_path(const char *name, char *out,
                                  size_t out_size = VULL_PLAT_PATH_LEN);
int vull_prefix_with_desktop_path(const char *name, char *out,
                                  size_t out_size = VULL_PLAT_PATH_LEN);
int vull_prefix_with_current_path(const char *name, char *out,
                                  size_t out_size = VULL_PLAT_PATH_LEN);
void vull_mkdir(const char *path); // mode 0755; failures ignored
int vull_remove(const char *path);

// ---- directory listing ----
constexpr uint32_t VULL_MODE_DIR = 0x4000;  // stat's directory type bit
constexpr uint32_t VULL_MODE_FILE = 0x8000; // stat's regular-file type bit

struct vull_find_rec {
    char folder[256];   // folder being listed
    char name[256];     // current entry name
    uint32_t mode;      // stat mode bits of the entry (0 when stat failed: never matches)
    uint32_t size;      // entry size in bytes
    int64_t time;       // entry modification time (seconds)
    char suffix[256];   // suffix filter (empty: every name)
    int32_t suffix_len; // length of the suffix filter
    uint32_t mask;      // mode bits an entry must share to be returned
    void *dir;          // open directory handle (DIR *), null when closed
};

// 0 when an entry was found, 1 when none. A pattern "*.ext" filters by suffix
// (ignoring case); any other pattern lists every entry that matches the mask.
// A folder of 256 or more characters lists nothing.
int vull_find_first(const char *folder, const char *pattern, vull_find_rec *rec, uint32_t mask);
int vull_find_next(vull_find_rec *rec);
int vull_find_close(vull_find_rec *rec); // null accepted; 0

int vull_file_exists(const char *path); // 1 when the path exists (folders too) or the virtual disk has it
int vull_directory_exists(const char *path); // 1 when the path lists as a folder
// 1 when path names a file made read-only, which no writer replaces or writes into: one the
// user may not write, or, for root (whom every permission check lets through), one whose
// owner may not. 0 when there is no such file.
int vull_file_read_only(const char *path);

// ---- dates ----
struct vull_datetime_rec {
    int32_t word0, word1; // left untouched by vull_get_datetime
    int32_t year;
    int32_t month; // 1-12
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};
void vull_get_datetime(vull_datetime_rec *rec,
                       int local); // now; local time when local != 0, else UTC
int vull_get_date(int *year, int *month,
                  int *day);               // local yyyymmdd; outs may be null; 0 on failure
void vull_print_date(time_t t, char *out); // "%Y-%m-%d %H:%M:%S", out of at least 32 bytes

// ---- threads ----
struct vull_thread_rec {
    std::thread *thread; // the running thread, detached when the record goes
    uint8_t pad[72];     // keeps the record its historical 80 bytes, zeroed
};
static_assert(sizeof(vull_thread_rec) == 80, "thread record is an 80-byte block");
using vull_thread_fn = int (*)(void *data);
vull_thread_rec *vull_create_thread(vull_thread_fn fn); // null when the thread cannot start
void vull_destroy_thread(vull_thread_rec *t);           // detaches and frees; null accepted

// ---- external programs (started with an argument vector, never a shell) ----
using vull_wget_callback = void (*)(const char *path);
int vull_wget(const char *url, const char *path); // 0 ran, 6 refused path
int vull_wget_ex(const char *url, const char *path, const char *post_file);
int vull_wget_with_callbacks(const char *url, const char *path, vull_wget_callback on_load,
                             vull_wget_callback on_error); // 0; runs on a thread
// wget gives up by itself after timeout_s seconds without progress (the engine's
// timeout option where not given) and tries once. The calls above wait for it;
// this one only starts it: the child's pid, -1 when it could not start, -6 for
// a refused path. Its file cannot grow past max_bytes (when above 0), even
// should the caller never stop it.
int vull_wget_start(const char *url, const char *path, int timeout_s, int64_t max_bytes);
// Waits until the child ended but leaves it unreaped, so its pid cannot name
// another process while someone may still kill it by that pid.
void vull_child_wait_ended(int pid);
// Reaps an ended child: 0 when it exited with status 0, else 1.
int vull_child_reap(int pid);
void vull_child_kill(int pid); // SIGKILL; nothing for pid <= 0
void vull_launch_html(const char *target); // opens a folder or web page with xdg-open

// ---- errors ----
[[noreturn]] void
vull_fatal_error(const char *message); // engine exit, then the process ends with 1
