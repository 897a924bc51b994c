// System services: the audio device's start and its nesting lock, clocks,
// clipboard files, threads, external programs and the fatal-error exit. The
// device, the clock, the clipboard itself and error texts are the back end's
// (platform/backend.h).
#include "platform/system.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"

extern char **environ;

int vull_sound_inited;
int vull_audio_is_locked;
static int device_lock_taken; // whether the outermost level really holds the device's lock

/* ---- audio device ---- */

int vull_sound_init_plat(int rate, int channels, vull_audio_callback callback) {
    const vull_plat_settings &c = vull_plat_config;
    if (vull_plat_get(c.mix_buffer_size) == 0) return 0;
    vull_plat_log("vull_sound_init\n");
    // The device counts its buffer in 16 bits; an option can ask for anything.
    int samples = vull_plat_get(c.mix_buffer_size);
    samples = samples < 1 ? 1024 : samples > 32768 ? 32768 : samples;
    if (c.audio_requested) c.audio_requested(rate, channels);
    int got_rate = rate, got_channels = channels;
    if (vull_plat_audio_open(rate, channels, samples, callback, &got_rate, &got_channels) == 0) {
        if (c.audio_granted) c.audio_granted(got_rate, got_channels);
        vull_plat_logf(" freq:%d\n channels:%d\n", got_rate, got_channels);
        vull_sound_inited = 1;
    }
    return 0;
}

int vull_sound_exit_plat() { return 0; }

/*
** The lock nests: the device's own lock is taken on the outermost level only.
** Without an open device there is nothing to lock, so the count is kept alone.
*/
void vull_lock_audio_plat() {
    if (vull_audio_is_locked == 0 && vull_sound_inited) {
        vull_plat_audio_lock();
        device_lock_taken = 1;
    }
    vull_audio_is_locked++;
}

void vull_unlock_audio_plat() {
    if (vull_audio_is_locked <= 0) return; // unbalanced unlock: never drive the count negative
    if (vull_audio_is_locked == 1 && device_lock_taken) {
        vull_plat_audio_unlock();
        device_lock_taken = 0;
    }
    vull_audio_is_locked--;
}

void vull_lock_audio() { vull_lock_audio_plat(); }

void vull_unlock_audio() { vull_unlock_audio_plat(); }

/* ---- clocks ---- */

// Milliseconds on the monotonic clock since the first call. Both back ends
// use it: the player's headless runs never load the window system for a clock.
static uint64_t elapsed_ms() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point start = clock::now();
    return uint64_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start).count());
}

uint64_t vull_plat_ticks() { return elapsed_ms(); }

int vull_get_time() { return int(uint32_t(elapsed_ms())); }

void vull_delay(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {}
}

static int64_t timer_start_ns; // process CPU time at the last vull_timer_start

static int64_t cpu_time_ns() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t vull_timer_start() {
    timer_start_ns = cpu_time_ns();
    return timer_start_ns;
}

int64_t vull_timer_end() { return cpu_time_ns() - timer_start_ns; }

/* ---- clipboard ---- */

void vull_set_clipboard_text(const char *text) { vull_plat_clipboard_set(text ? text : ""); }

char *vull_get_clipboard_text() {
    std::string text = vull_plat_clipboard_get();
    size_t len = text.size();
    char *copy =
        len < (size_t(1) << 30) - 32 ? static_cast<char *>(vull_plat_alloc(int(len + 1))) : nullptr;
    if (copy) memcpy(copy, text.c_str(), len + 1);
    return copy;
}

int vull_has_clipboard_text() { return vull_plat_clipboard_has(); }

void vull_set_clipboard_text_preemptive(const char *text) { vull_set_clipboard_text(text); }

int vull_load_clipboard_from_file(const char *path) {
    constexpr size_t limit = 0x100000; // 1 MiB of text at most
    FILE *f = vull_open_read(path, INT64_MAX); // a regular file; only its first MiB is read
    if (!f) return 1;
    std::vector<char> buf(limit + 1, 0);
    size_t n = fread(buf.data(), 1, limit, f);
    fclose(f);
    buf[n] = 0;
    return vull_plat_clipboard_set(buf.data()) == 0 ? 0 : 1;
}

int vull_save_clipboard_to_file(const char *path) {
    if (!path || !vull_has_clipboard_text() || vull_file_read_only(path)) return 1;
    FILE *f = fopen(path, "w");
    if (!f) return 1;
    char *text = vull_get_clipboard_text();
    if (text) fputs(text, f);
    vull_plat_release(text);
    fclose(f);
    return 0;
}

/* ---- threads ---- */

vull_thread_rec *vull_create_thread(vull_thread_fn fn) {
    if (!fn) return nullptr;
    vull_thread_rec *t =
        static_cast<vull_thread_rec *>(vull_plat_alloc(int(sizeof(vull_thread_rec))));
    if (!t) return nullptr;
    try {
        t->thread = new std::thread([fn] { fn(nullptr); });
    } catch (...) { // no thread could start
        vull_plat_release(t);
        return nullptr;
    }
    return t;
}

void vull_destroy_thread(vull_thread_rec *t) {
    if (!t) return;
    if (t->thread) {
        t->thread->detach();
        delete t->thread;
    }
    vull_plat_release(t);
}

/* ---- external programs ---- */

// Starts a program found on PATH with an argument vector; no shell sees the
// arguments. Returns the child's pid, or -1 when it could not start.
static pid_t spawn_program(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

static void wait_for(pid_t pid) {
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

/*
** Output paths that the download call refuses (kept from the days when the
** command went through a shell; callers rely on the 6).
*/
static int wget_path_refused(const char *path) {
    if (!path || path[0] == '"') return 1;
    if (strncmp(path, "http", 4) == 0) return strpbrk(path, "$'\\\"") != nullptr;
    return strchr(path, '"') != nullptr;
}

static pid_t spawn_wget(const char *url, const char *path, const char *post_file, int timeout_s) {
    int configured = vull_plat_get(vull_plat_config.timeout);
    if (timeout_s <= 0) timeout_s = configured > 0 ? configured : 30;
    std::vector<std::string> args = {"wget", "-q", "--tries=1",
                                     "--timeout=" + std::to_string(timeout_s), "-O", path};
    if (post_file) args.push_back(std::string("--post-file=") + post_file);
    args.push_back("--"); // a URL beginning with '-' is still a URL
    args.push_back(url ? url : "");
    return spawn_program(args);
}

// Runs wget to the end; the caller learns of failure from the output file.
static void run_wget(const char *url, const char *path, const char *post_file) {
    wait_for(spawn_wget(url, path, post_file, 0));
}

int vull_wget_start(const char *url, const char *path, int timeout_s, int64_t max_bytes) {
    if (wget_path_refused(path)) return -6;
    pid_t pid = spawn_wget(url, path, nullptr, timeout_s);
    // The kernel's file-size limit holds even for a wget whose player was
    // forced to end: a write past it ends the child (SIGXFSZ) or fails.
    if (pid > 0 && max_bytes > 0) {
        struct rlimit limit {rlim_t(max_bytes), rlim_t(max_bytes)};
        prlimit(pid, RLIMIT_FSIZE, &limit, nullptr);
    }
    return pid;
}

void vull_child_wait_ended(int pid) {
    siginfo_t info;
    while (pid > 0 && waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
}

int vull_child_reap(int pid) {
    int status = 0;
    pid_t r = -1;
    while (pid > 0 && (r = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
    return r == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

void vull_child_kill(int pid) {
    if (pid > 0) kill(pid, SIGKILL);
}

int vull_wget_ex(const char *url, const char *path, const char *post_file) {
    if (wget_path_refused(path)) return 6;
    run_wget(url, path, post_file);
    return 0;
}

int vull_wget(const char *url, const char *path) { return vull_wget_ex(url, path, nullptr); }

// State of the threaded download: one at a time, written before the thread starts.
static char remote_file[VULL_PLAT_PATH_LEN];
static char local_file[VULL_PLAT_PATH_LEN];
static vull_wget_callback wget_on_load;
static vull_wget_callback wget_on_error;

static int wget_thread(void *) {
    if (wget_path_refused(local_file)) {
        if (wget_on_error) wget_on_error(local_file);
        return 0;
    }
    run_wget(remote_file, local_file, nullptr);
    if (wget_on_load) wget_on_load(local_file);
    return 0;
}

int vull_wget_with_callbacks(const char *url, const char *path, vull_wget_callback on_load,
                             vull_wget_callback on_error) {
    wget_on_load = on_load;
    wget_on_error = on_error;
    // A cut URL or path would fetch or write something else: refuse instead.
    if (!url || !path || strlen(url) >= sizeof remote_file || strlen(path) >= sizeof local_file) {
        if (on_error) on_error(path ? path : "");
        return 0;
    }
    snprintf(remote_file, sizeof remote_file, "%s", url);
    snprintf(local_file, sizeof local_file, "%s", path);
    vull_thread_rec *t = vull_create_thread(wget_thread);
    if (!t) {
        if (on_error) on_error(local_file);
        return 0;
    }
    vull_destroy_thread(t);
    return 0;
}

void vull_launch_html(const char *target) {
    if (!target) return;
    std::string arg;
    if (strncmp(target, "http:", 5) == 0) {
        static const char hex[] = "0123456789abcdef";
        for (const unsigned char *p = reinterpret_cast<const unsigned char *>(target); *p; p++) {
            if (isalnum(*p) || strchr("&-./:=?_", *p)) {
                arg += char(*p);
            } else {
                arg += '%';
                arg += hex[*p >> 4];
                arg += hex[*p & 15];
            }
        }
    } else {
        arg = target;
    }
    char command[1024];
    snprintf(command, sizeof command, "xdg-open \"%s\"&", arg.c_str());
    vull_plat_logf("launch: [%.800s] ", command);

    pid_t pid = spawn_program({"xdg-open", arg});
    // Reaped in the background so no zombie is left and the caller never waits.
    if (pid > 0) std::thread(wait_for, pid).detach();
    vull_plat_logf("result: %d\n", pid > 0 ? 0 : -1);
}

/* ---- errors ---- */

void vull_fatal_error(const char *message) {
    vull_plat_print_errors();
    printf("\n\n** FATAL ERROR: %s\n\n", message ? message : "");
    fflush(stdout);
    fprintf(stderr, "** FATAL ERROR: %s\n", message ? message : "");
    vull_plat_logf("\n\n** FATAL ERROR: %.800s\n\n", message ? message : "");
    vull_plat_exit();
    exit(1);
}
