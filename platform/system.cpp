// System services: audio device and its nesting lock, clocks, clipboard,
// threads, external programs and the fatal-error exit.
#include "platform/system.h"

#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/config.h"
#include "engine/mem.h"
#include "audio/channel.h" // the volume calls
#include "audio/mixer.h"   // the device callback

extern char **environ;

int vull_sound_inited;
int vull_audio_is_locked;
static int sdl_audio_lock_taken; // whether the outermost level really holds SDL's lock

/* ---- audio device ---- */

static void log_audio_drivers() {
    int n = SDL_GetNumAudioDrivers();
    if (n > 0) {
        vull_debug("Built-in audio drivers:");
        for (int i = 0; i < n; i++) {
            const char *name = SDL_GetAudioDriver(i);
            vull_debugf(" %d %s", i, name ? name : "");
        }
        vull_debug("\n");
    } else {
        vull_debug("No built-in audio drivers\n");
    }
    const char *current = SDL_GetCurrentAudioDriver();
    vull_debugf("Current audio driver: %s\n", current ? current : "(none)");
}

int vull_sound_init_plat(int rate, int channels) {
    if (cconfig.mix_buffer_size == 0) return 0;
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    vull_debug("vull_sound_init\n");
    if (SDL_Init(SDL_INIT_AUDIO) == 0) {
        vull_debug("SDL_INIT_AUDIO ok\n");
        SDL_AudioSpec spec{};
        spec.freq = rate;
        spec.format = AUDIO_S16LSB;
        spec.channels = Uint8(channels);
        spec.silence = 0;
        // SDL counts the buffer in 16 bits; an option can ask for anything.
        int samples = cconfig.mix_buffer_size;
        spec.samples = Uint16(samples < 1 ? 1024 : samples > 32768 ? 32768 : samples);
        spec.callback = vull_mixer_callback;
        spec.userdata = nullptr;
        vull_state.audio_freq_requested = rate;
        vull_state.audio_channels_requested = channels;
        if (SDL_OpenAudio(&spec, nullptr) < 0) {
            vull_debug("SDL_OpenAudio failed\n");
            vull_debugf(" %s\n", SDL_GetError());
        } else {
            vull_debug("SDL_OpenAudio ok\n");
            vull_state.audio_freq = spec.freq ? spec.freq : rate;
            vull_state.audio_channels = spec.channels ? spec.channels : channels;
            vull_debugf(" freq:%d\n channels:%d\n", int(vull_state.audio_freq),
                        int(vull_state.audio_channels));
            SDL_PauseAudio(0);
            vull_sound_inited = 1;
        }
        log_audio_drivers();
    }
    vull_set_sound_volume(cconfig.sound_volume);
    vull_set_music_volume(cconfig.music_volume);
    return 0;
}

int vull_sound_exit_plat() { return 0; }

/*
** The lock nests: SDL's device lock is taken on the outermost level only.
** Without an open device there is nothing to lock, and SDL would only
** record an error, so the count is kept alone.
*/
void vull_lock_audio_plat() {
    if (vull_audio_is_locked == 0 && vull_sound_inited) {
        SDL_LockAudio();
        sdl_audio_lock_taken = 1;
    }
    vull_audio_is_locked++;
}

void vull_unlock_audio_plat() {
    if (vull_audio_is_locked <= 0) return; // unbalanced unlock: never drive the count negative
    if (vull_audio_is_locked == 1 && sdl_audio_lock_taken) {
        SDL_UnlockAudio();
        sdl_audio_lock_taken = 0;
    }
    vull_audio_is_locked--;
}

void vull_lock_audio() { vull_lock_audio_plat(); }

void vull_unlock_audio() { vull_unlock_audio_plat(); }

/* ---- clocks ---- */

static int64_t timer_start_ns; // process CPU time at the last vull_timer_start

static int64_t cpu_time_ns() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int vull_get_time() { return int(SDL_GetTicks()); }

void vull_delay(int ms) {
    if (ms > 0) SDL_Delay(Uint32(ms));
}

int64_t vull_timer_start() {
    timer_start_ns = cpu_time_ns();
    return timer_start_ns;
}

int64_t vull_timer_end() { return cpu_time_ns() - timer_start_ns; }

/* ---- clipboard ---- */

void vull_set_clipboard_text(const char *text) { SDL_SetClipboardText(text ? text : ""); }

void vull_set_clipboard_text_preemptive(const char *text) { vull_set_clipboard_text(text); }

char *vull_get_clipboard_text() {
    char *sdl_text = SDL_GetClipboardText();
    const char *text = sdl_text ? sdl_text : "";
    size_t len = strlen(text);
    char *copy = len < size_t(VULL_ALLOC_CAP) - 32 ? static_cast<char *>(vull_malloc(int(len + 1)))
                                                   : nullptr;
    if (copy) memcpy(copy, text, len + 1);
    SDL_free(sdl_text);
    return copy;
}

int vull_has_clipboard_text() { return SDL_HasClipboardText() ? 1 : 0; }

int vull_load_clipboard_from_file(const char *path) {
    constexpr size_t limit = 0x100000; // 1 MiB of text at most
    FILE *f = path ? fopen(path, "rb") : nullptr;
    if (!f) return 1;
    std::vector<char> buf(limit + 1, 0);
    size_t n = fread(buf.data(), 1, limit, f);
    fclose(f);
    buf[n] = 0;
    // Without a video subsystem there is no clipboard: that is a failure, not a copy.
    return SDL_SetClipboardText(buf.data()) == 0 ? 0 : 1;
}

int vull_save_clipboard_to_file(const char *path) {
    if (!path || !SDL_HasClipboardText()) return 1;
    FILE *f = fopen(path, "w");
    if (!f) return 1;
    char *text = SDL_GetClipboardText();
    if (text) fputs(text, f);
    SDL_free(text);
    fclose(f);
    return 0;
}

/* ---- threads ---- */

vull_thread_rec *vull_create_thread(vull_thread_fn fn) {
    if (!fn) return nullptr;
    vull_thread_rec *t = static_cast<vull_thread_rec *>(vull_malloc(int(sizeof(vull_thread_rec))));
    if (!t) return nullptr;
    t->thread = SDL_CreateThread(fn, "vull_thread", nullptr);
    if (!t->thread) {
        vull_free(t);
        return nullptr;
    }
    return t;
}

void vull_destroy_thread(vull_thread_rec *t) {
    if (!t) return;
    if (t->thread) SDL_DetachThread(t->thread);
    vull_free(t);
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

// Runs wget to the end; the caller learns of failure from the output file.
static void run_wget(const char *url, const char *path, const char *post_file) {
    std::vector<std::string> args = {"wget", "-q", "-O", path};
    if (post_file) args.push_back(std::string("--post-file=") + post_file);
    args.push_back("--"); // a URL beginning with '-' is still a URL
    args.push_back(url ? url : "");
    wait_for(spawn_program(args));
}

int vull_wget_ex(const char *url, const char *path, const char *post_file) {
    if (wget_path_refused(path)) return 6;
    run_wget(url, path, post_file);
    return 0;
}

int vull_wget(const char *url, const char *path) { return vull_wget_ex(url, path, nullptr); }

// State of the threaded download: one at a time, written before the thread starts.
static char remote_file[VULL_PATH_LEN];
static char local_file[VULL_PATH_LEN];
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
    vull_debugf("launch: [%.800s] ", command);

    pid_t pid = spawn_program({"xdg-open", arg});
    // Reaped in the background so no zombie is left and the caller never waits.
    if (pid > 0) std::thread(wait_for, pid).detach();
    vull_debugf("result: %d\n", pid > 0 ? 0 : -1);
}

/* ---- errors ---- */

void checkSDLError() {
    const char *error = SDL_GetError();
    if (error && *error) {
        printf("SDL Error: %s\n", error);
        fflush(stdout);
        SDL_ClearError();
    }
}

void vull_fatal_error(const char *message) {
    checkSDLError();
    printf("\n\n** FATAL ERROR: %s\n\n", message ? message : "");
    fflush(stdout);
    vull_debugf("\n\n** FATAL ERROR: %.800s\n\n", message ? message : "");
    vull_exit();
    exit(1);
}
