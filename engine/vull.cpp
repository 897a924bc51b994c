// Engine frame loop, start-up and exit sequence, engine state and log.txt.
#include "engine/vull.h"

#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/config.h"
#include "engine/gui.h"
#include "engine/mem.h"
#include "engine/text.h"
#include "engine/vmath.h"
#include "platform/events.h"
#include "platform/joystick.h"
#include "platform/pump.h"
#include "platform/script.h"
#include "platform/system.h"
#include "platform/video.h"

vull_state_rec vull_state;

static_assert(VULL_PATH_LEN == VULL_PLAT_PATH_LEN, "the platform fills engine path buffers");

int vull_argc;
char **vull_argv;
char vull_argv0[VULL_ARGV0_LEN];
int vull_quit;
int vull_inited;
int vull_console;
int vull_items_created;
int vull_start_time;
char app_title_pending[VULL_TITLE_LEN] = "vull";
int vull_debug_indentation;
int print_debug_timestamp = 1;
char vull_debug_string[4096];
int vull_processing_gui;
int vull_last_mouse_x, vull_last_mouse_y;

static int skip_frame; // set by vull_skip_frame, cleared before each update

// SIGTERM and SIGINT ask the frame loop to quit through the normal exit. A
// loop caught in one long step (a blocked open, a huge file) does not answer:
// then the alarm ends the process by the signal's default action.
constexpr unsigned QUIT_GRACE_S = 3;
static volatile sig_atomic_t quit_signal;

static void on_quit_signal(int sig) {
    quit_signal = sig;
    alarm(QUIT_GRACE_S);
}

static void on_quit_grace_over(int) {
    int sig = quit_signal ? quit_signal : SIGTERM;
    signal(sig, SIG_DFL);
    raise(sig);
}

// Installed before the platform starts: SDL then keeps its own handlers out.
static void install_quit_signals() {
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // a file being written is not cut short by the signal
    sa.sa_handler = on_quit_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = on_quit_grace_over;
    sigaction(SIGALRM, &sa, nullptr);
}

/*
** Perf timing: four stages per pass (0 pump/GUI/mouse/fade, 1 update,
** 2 draw, 3 presentation), timed on the process CPU clock.
*/
static int32_t perf_samples[4]; // stages recorded since the last report
static int64_t perf_sum_us[4];  // summed stage times, microseconds
static int64_t perf_max_ns[4];  // longest stage time, nanoseconds
static int perf_frames;         // passes since the last report

static void perf_record(int stage) {
    if (cconfig.perf_timing <= 0) return;
    int64_t ns = vull_timer_end();
    perf_samples[stage]++;
    perf_sum_us[stage] += ns / 1000;
    if (ns > perf_max_ns[stage]) perf_max_ns[stage] = ns;
    vull_timer_start();
}

static void perf_report() {
    if (cconfig.perf_timing <= 0) return;
    if (++perf_frames < cconfig.perf_timing) return;
    double mean[4], peak[4];
    for (int i = 0; i < 4; i++) {
        mean[i] = perf_samples[i] ? double(perf_sum_us[i]) / (1000.0 * perf_samples[i])
                                  : double(perf_sum_us[i]) / 1000.0;
        peak[i] = double(perf_max_ns[i]) / 1e6;
    }
    printf("[vull] %6.3f[%6.3f] %6.3f[%6.3f] %6.3f[%6.3f] %6.3f[%6.3f]   %d/%d\n", mean[0], peak[0],
           mean[1], peak[1], mean[2], peak[2], mean[3], peak[3], perf_samples[1], perf_samples[0]);
    fflush(stdout);
    for (int i = 0; i < 4; i++) {
        perf_samples[i] = 0;
        perf_sum_us[i] = 0;
        perf_max_ns[i] = 0;
    }
    perf_frames = 0;
}

/* Pump, GUI, mouse sample and music fade: the service half of a pass. */
static int service_pass() {
    int result = vull_handle_system_messages();
    if (!vull_processing_gui) {
        vull_processing_gui = 1;
        vull_process_gui();
        vull_processing_gui = 0;
    }
    vull_get_mouse(&vull_last_mouse_x, &vull_last_mouse_y, nullptr);
    if (vull_audio.update_music_fading) vull_audio.update_music_fading();
    return result;
}

static void frame_pass() {
    if (quit_signal) { // the loop answers: the normal exit runs, the alarm is off
        alarm(0);
        vull_quit = 1;
        return;
    }
    vull_register_frame_start_for_fps();
    if (cconfig.perf_timing > 0) vull_timer_start();
    vull_script_pass();
    service_pass();
    perf_record(0);
    skip_frame = 0;
    if (vull_app.update) vull_app.update();
    if (!skip_frame) {
        perf_record(1);
        if (vull_app.draw) vull_app.draw();
        perf_record(2);
        if (!cconfig.headless) vull_blit_back_page();
        perf_record(3);
        vull_register_frame_end_for_fps();
    }
    perf_report();
}

int vull_main(int argc, char **argv) {
    vull_set_argv0(argc > 0 && argv ? argv[0] : "");
    vull_argc = argc;
    vull_argv = argv;
    // Without an initialiser nothing would start the engine or ever end the loop.
    if (!vull_app.init) {
        vull_missing_attach("vull_main", "vull_set_app_funcs()");
        return 1;
    }
    install_quit_signals();
    vull_app.init(argc, argv);
    vull_quit = 0;
    while (!vull_quit) frame_pass();
    if (vull_inited) vull_exit();
    // A run a signal stopped did not finish: its caller is told so, as a
    // process the signal had ended would tell it.
    return quit_signal ? 128 + quit_signal : 0;
}

/*
** log.txt is bounded: a message that would take it past half of
** VULL_LOG_MAX_BYTES first moves it over log.old.txt and starts it again, so
** the two files together stay within the bound and the newest lines are at
** the end of log.txt. The writer counts what it writes: no file-system call
** on the per-line path.
*/
constexpr int64_t LOG_GENERATION_BYTES = VULL_LOG_MAX_BYTES / 2;
static char log_path[VULL_PATH_LEN];     // log.txt of this run
static char log_old_path[VULL_PATH_LEN]; // its one older generation
static FILE *log_owned;                  // the stream opened here; only that one is rotated
static int64_t log_bytes;                // bytes written to it since it was started

// Both files describe this run only: an older generation from an earlier run
// goes as log.txt is emptied. unlink, not remove: a folder of that name stays.
static void open_log() {
    log_owned = nullptr;
    log_bytes = 0;
    if (vull_prefix_with_appdata_path("log.txt", log_path, sizeof log_path) != 0 ||
        vull_prefix_with_appdata_path("log.old.txt", log_old_path, sizeof log_old_path) != 0)
        return;
    unlink(log_old_path);
    vull_state.log_file = log_owned = fopen(log_path, "w");
}

// A log.txt that cannot be moved starts again over itself, losing the older
// lines rather than the bound; one that cannot be opened again leaves the log
// closed, and the player goes on without it.
static FILE *rotate_log() {
    fclose(log_owned);
    rename(log_path, log_old_path);
    vull_state.log_file = log_owned = fopen(log_path, "w");
    log_bytes = 0;
    return log_owned;
}

// The stream to write a message of `bytes` bytes to, after making room for it.
static FILE *log_for(int64_t bytes) {
    FILE *log = vull_state.log_file;
    if (!log || log != log_owned) return log; // a stream swapped in by a caller is its own
    if (log_bytes > 0 && log_bytes + bytes > LOG_GENERATION_BYTES) log = rotate_log();
    log_bytes += bytes;
    return log;
}

int vull_init() {
    if (vull_inited) return 0;
    // Unattached, the platform would name the per-user folder "", read no
    // options and drop every key, picture and log line without a sign.
    if (!vull_engine_attached())
        vull_fatal_error("vull_init needs vull_engine_attach(), which this program did not call");

    vull_items_created = 0;
    vull_state = vull_state_rec{};
    vull_copy_text(vull_state.app_title, app_title_pending, sizeof vull_state.app_title);
    vull_copy_text(vull_state.window_title, app_title_pending, sizeof vull_state.window_title);
    vull_state.window_title_ptr = vull_state.window_title;
    update_sdl_window_title(vull_state.window_title);

    // cconfig0 starts as the defaults; config.txt fills both records, so the
    // first option pass never leaks into what config.txt keeps.
    vull_config_default();
    cconfig0 = cconfig;
    if (vull_argc > 0 && vull_argv) {
        if (const char *refused = vull_process_arguments(vull_argc, vull_argv))
            vull_refuse_folder_option(refused); // before log.txt is made
    }

    open_log();
    vull_debug(">vull_init\n");
    vull_debug("platform: Linux\n");

    vull_config_load();
    if (vull_argc > 0 && vull_argv) vull_process_arguments(vull_argc, vull_argv);
#ifdef ZIBO6_ARM32
    if (cconfig.pixel_perfect == 0) {
        vull_debug("forcing driver to rpi for pixel_perfect:0\n");
        setenv("SDL_VIDEODRIVER", "rpi", 0);
    }
#endif

    if (!vull_console) {
        vull_debug("vull_system_init\n");
        vull_system_init();
        vull_debug("vull_reset_timer\n");
        vull_start_time = vull_get_time();
        vull_debug("vull_gui_init\n");
        vull_gui_init();
        vull_debug("vull_keys_init\n");
        vull_keys_init();
        vull_debug("vull_text_init\n");
        vull_text_init();
        vull_debug("vull_video_init\n");
        vull_video_init();
        vull_debug("vull_mouse_init\n");
        vull_mouse_init();
        vull_debug("vull_joystick_init\n");
        vull_joystick_init();
    }
    vull_srand(0);
    if (cconfig.sessions < INT32_MAX) cconfig.sessions++; // a hostile count saturates

    vull_debug("<ok\n");
    vull_inited = 1;
    return 0;
}

int vull_exit() {
    if (!vull_inited) return 0;
    vull_inited = 0; // first: the application's exit callback calls vull_exit again

    vull_debug(">vull_exit\n");
    vull_debug("cmusic_stop\n");
    if (vull_audio.stop_music) vull_audio.stop_music();
    vull_debug("vull_main_exit\n");
    if (vull_app.exit) vull_app.exit();
    vull_debug("vull_config_save\n");
    if (vull_config_save() != 0) { // config.txt keeps what it held
        vull_debug("could not write config.txt\n");
        std::fprintf(stderr, "could not write config.txt\n");
    }
    vull_debug("vull_sound_exit\n");
    if (vull_audio.sound_exit) vull_audio.sound_exit();
    vull_debug("vull_video_exit\n");
    vull_video_exit();
    vull_debug("vull_joystick_exit\n");
    vull_joystick_exit();
    vull_debug("vull_system_exit\n");
    if (!vull_console) {
        vull_text_exit();
        vull_keys_exit();
        vull_gui_exit();
        vull_system_exit();
    }
    vull_debugf("vull_items_created: %d\n", vull_items_created);
    vull_debug("<ok\n");

    if (vull_state.log_file) fclose(vull_state.log_file);
    vull_state.log_file = log_owned = nullptr;
    return 0;
}

int vull_restart() {
    if (vull_inited) vull_exit();
    if (vull_app.init) vull_app.init(vull_argc, vull_argv);
    return 0;
}

void vull_set_application_title(const char *text) {
    vull_copy_text(vull_state.app_title, text, sizeof vull_state.app_title);
    vull_copy_text(app_title_pending, text, sizeof app_title_pending);
}

void vull_set_window_title(const char *text) {
    if (!text) {
        vull_state.window_title_ptr = nullptr;
        return;
    }
    vull_copy_text(vull_state.window_title, text, sizeof vull_state.window_title);
    vull_state.window_title_ptr = vull_state.window_title;
    update_sdl_window_title(vull_state.window_title);
}

int vull_handle_messages() { return service_pass(); }

void vull_skip_frame() { skip_frame = 1; }

void vull_set_paused(int flag) { vull_state.paused = flag; }

void vull_console_program() { vull_console = 1; }

void vull_set_argv0(const char *path) { vull_copy_text(vull_argv0, path, sizeof vull_argv0); }

int vull_reset_timer() {
    vull_start_time = vull_get_time();
    return vull_start_time;
}

int vull_get_elapsed_time() {
    int elapsed = int(uint32_t(vull_get_time()) - uint32_t(vull_start_time));
    if (elapsed < 0) {
        vull_reset_timer();
        return 0;
    }
    return elapsed;
}

/*
** The log writer. Levels and the new-line flag are tracked even while
** log.txt is closed, so nesting stays right across start-up and exit.
*/
void vull_debug(const char *text) {
    if (!text) return;
    char stamp[16] = "";
    if (print_debug_timestamp && vull_state.log_file)
        snprintf(stamp, sizeof stamp, "[%06d] ", vull_get_time());
    int64_t stamp_len = int64_t(strlen(stamp));

    static const char too_long[] = "[debug string too long!]\n";
    if (strnlen(text, 901) > 900) {
        if (FILE *log = log_for(stamp_len + int64_t(sizeof too_long) - 1)) {
            fputs(stamp, log);
            fputs(too_long, log);
            fflush(log);
        }
        return;
    }

    if (*text == '<') {
        text++;
        if (vull_debug_indentation > 0) vull_debug_indentation--;
    }
    const int indent = vull_debug_indentation;
    if (*text == '>') {
        text++;
        vull_debug_indentation++;
    }
    size_t len = strlen(text);
    if (FILE *log = log_for(stamp_len + 2 * int64_t(indent) + int64_t(len))) {
        fputs(stamp, log);
        for (int i = 0; i < indent; i++) fputs("  ", log);
        fputs(text, log);
        fflush(log);
    }
    print_debug_timestamp = len > 0 && text[len - 1] == '\n';
}

void vull_debugf(const char *format, ...) {
    if (!format) return;
    va_list ap;
    va_start(ap, format);
    vsnprintf(vull_debug_string, sizeof vull_debug_string, format, ap);
    va_end(ap);
    vull_debug(vull_debug_string);
}
