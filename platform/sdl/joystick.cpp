// Game controllers and the mapping database.
//
// A controller's axis or button only counts once it has been seen at rest:
// a stick resting off-centre or a button held while plugging in would
// otherwise read as player input from the first frame.
#include "platform/joystick.h"

#include "platform/sdl/sdl_api.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/system.h"

controller_rec metacon[VULL_MAX_CONTROLLERS];
int vull_joystick_inited;

// The largest controller-mapping file read: the common databases are well under it.
static constexpr int64_t MAPPING_FILE_MAX = 4 << 20;

static int said_not_attached; // "not attached" logged once
static int said_axis;         // one of the two axis messages printed once
static int said_button;       // the button message printed once

// Our own rows, in SDL's mapping-string format.
const char *const controller_db_mapping[] = {
    "030000005a6900000110000000010000,Tarnwick Arcade Stick,a:b0,b:b1,x:b2,y:b3,back:b6,start:b7,"
    "leftshoulder:b4,rightshoulder:b5,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,leftx:a0,"
    "lefty:a1,"
    "platform:Linux,",
    "030000005a6900000220000000010000,Tarnwick Pocket "
    "Pad,a:b1,b:b0,x:b3,y:b2,back:b8,start:b9,guide:b10,"
    "leftshoulder:b4,rightshoulder:b5,leftstick:b11,rightstick:b12,dpup:b13,dpdown:b14,dpleft:b15,"
    "dpright:b16,"
    "leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a4,righttrigger:a5,platform:Linux,",
    "030000005a6900000330000000010000,Tarnwick Twin Pad,a:b2,b:b1,x:b3,y:b0,back:b8,start:b9,"
    "leftshoulder:b4,rightshoulder:b5,lefttrigger:b6,righttrigger:b7,leftstick:b10,rightstick:b11,"
    "dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,leftx:a0,lefty:a1,rightx:a2,righty:a3,platform:"
    "Linux,",
    "050000005a6900000440000000010000,Tarnwick Wireless "
    "Pad,a:b0,b:b1,x:b3,y:b4,back:b10,start:b11,guide:b12,"
    "leftshoulder:b6,rightshoulder:b7,leftstick:b13,rightstick:b14,dpup:h0.1,dpdown:h0.4,dpleft:h0."
    "8,"
    "dpright:h0.2,leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a5,righttrigger:a4,platform:"
    "Linux,",
    "030000005a6900000550000000010000,Tarnwick Retro Pad,a:b1,b:b0,x:b3,y:b2,back:b6,start:b7,"
    "leftshoulder:b4,rightshoulder:b5,dpup:-a1,dpdown:+a1,dpleft:-a0,dpright:+a0,platform:Windows,",
    nullptr,
};

static const char *safe(const char *s) { return s ? s : ""; }

static bool occupied(const controller_rec &r) { return r.controller || r.joystick; }

// Handles are always closed before a record is cleared, so none leaks.
static void clear_record(controller_rec &r) {
    if (r.joystick) SDL_JoystickClose(r.joystick);
    if (r.controller) SDL_GameControllerClose(r.controller);
    memset(&r, 0, sizeof r);
}

static void log_counts(SDL_Joystick *j) {
    vull_plat_logf(" Number of Axes: %d\n", SDL_JoystickNumAxes(j));
    vull_plat_logf(" Number of Buttons: %d\n", SDL_JoystickNumButtons(j));
    vull_plat_logf(" Number of Balls: %d\n", SDL_JoystickNumBalls(j));
}

// Opens SDL device `device` into record `slot`.
static int connect_into(int slot, int device) {
    controller_rec &r = metacon[slot];
    clear_record(r);
    vull_plat_logf("connecting joystick %d\n", device);
    if (SDL_IsGameController(device)) {
        r.controller = SDL_GameControllerOpen(device);
        if (r.controller) {
            vull_plat_logf("Controller %d: %s\n", device,
                           safe(SDL_GameControllerName(r.controller)));
            SDL_Joystick *j = SDL_GameControllerGetJoystick(r.controller);
            r.instance_id = SDL_JoystickInstanceID(j);
            log_counts(j);
            char *mapping = SDL_GameControllerMapping(r.controller);
            vull_plat_logf(" Mapping: %s\n", safe(mapping));
            SDL_free(mapping);
            return 0;
        }
    }
    r.joystick = SDL_JoystickOpen(device);
    if (!r.joystick) return -1;
    r.instance_id = SDL_JoystickInstanceID(r.joystick);
    vull_plat_logf("Unmapped Joystick %d: %s\n", device, safe(SDL_JoystickName(r.joystick)));
    log_counts(r.joystick);
    return 0;
}

int connect_joystick(int n) {
    if (n < 0 || n >= VULL_MAX_CONTROLLERS) return -1;
    return connect_into(n, n);
}

void repack_metacon() {
    int to = 0;
    for (int i = 0; i < VULL_MAX_CONTROLLERS; i++) {
        if (!occupied(metacon[i])) continue;
        if (i != to) {
            metacon[to] = metacon[i];
            memset(&metacon[i], 0, sizeof metacon[i]);
        }
        to++;
    }
}

/* ---- mapping files --------------------------------------------------- */

// Cuts blanks and control bytes (at most 32) from both ends, in place.
static const char *trim_line(char *line) {
    unsigned char *b = reinterpret_cast<unsigned char *>(line);
    unsigned char *e = b + strlen(line);
    while (b < e && *b <= 32) b++;
    while (e > b && e[-1] <= 32) e--;
    *e = 0;
    return reinterpret_cast<const char *>(b);
}

static void read_mapping_file(FILE *f, const char *path) {
    vull_plat_logf("Reading controller mappings: %s\n", path);
    char line[1024];
    while (fgets(line, sizeof line, f)) {
        size_t len = strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            // A full buffer is a whole line only when its end follows; a longer
            // line is skipped rather than read as lines of its own.
            int c = fgetc(f);
            if (c != '\n' && c != EOF) {
                while ((c = fgetc(f)) != EOF && c != '\n') {}
                vull_plat_logf(" failed to add controller mapping: %s\n", "(line too long)");
                continue;
            }
        }
        const char *t = trim_line(line);
        if (!t || !*t || *t == '/') continue;
        int r = SDL_GameControllerAddMapping(t);
        if (r < 0)
            vull_plat_logf(" failed to add controller mapping: %s\n", t);
        else if (r == 0)
            vull_plat_logf(" updated controller mapping: %s\n", t);
        else
            vull_plat_logf(" added controller mapping: %s\n", t);
    }
}

static void read_or_create(const char *path, bool create) {
    if (!*path) return;
    if (FILE *f = vull_open_read(path, MAPPING_FILE_MAX)) {
        read_mapping_file(f, path);
        fclose(f);
        return;
    }
    if (vull_file_exists(path)) {
        vull_plat_logf("controller mappings not read (over %lld bytes, or not a readable "
                       "file): %s\n",
                       (long long)MAPPING_FILE_MAX, path);
        return;
    }
    if (!create) return;
    // Only where nothing stands yet: a file the reader refused (too large, a pipe)
    // is the user's and must be neither emptied nor waited on.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return;
    static const char line[] = "// add SDL2 game controller mappings to this file\n";
    if (write(fd, line, sizeof line - 1) != (ssize_t)(sizeof line - 1))
        vull_plat_logf(" could not write %s\n", path);
    close(fd);
}

void add_sdl_controllers() {
    char path[VULL_PLAT_PATH_LEN];
    if (vull_prefix_with_program_path("sdl_controllers.txt", path) == 0)
        read_or_create(path, false);
    if (vull_prefix_with_appdata_path("sdl_controllers.txt", path) == 0) read_or_create(path, true);
    SDL_ClearError(); // a rejected line leaves its reason behind; it has been logged
}

/* ---- start and exit -------------------------------------------------- */

int vull_joystick_init() {
    if (vull_joystick_inited) return 0;
    vull_joystick_inited = 1;
    memset(metacon, 0, sizeof metacon);
    if (!sdl_loaded()) return 0; // a headless run: no controllers, and SDL stays unloaded
    for (int i = 0; controller_db_mapping[i]; i++)
        SDL_GameControllerAddMapping(controller_db_mapping[i]);
    add_sdl_controllers();
    vull_plat_logf(">searching for joysticks\n");
    int n = SDL_NumJoysticks();
    vull_plat_logf("found %d joysticks\n", n);
    for (int i = 0; i < n && i < VULL_MAX_CONTROLLERS; i++) connect_joystick(i);
    vull_plat_logf("<ok\n");
    return 0;
}

int vull_joystick_exit() {
    if (!vull_joystick_inited) return 0;
    vull_joystick_inited = 0;
    for (auto &r : metacon) clear_record(r);
    return 0;
}

int vull_count_joysticks() { return sdl_loaded() ? SDL_NumJoysticks() : 0; }

int vull_count_joystick_buttons(int n) {
    if (!vull_joystick_inited || n < 0 || n >= VULL_MAX_CONTROLLERS || !metacon[n].joystick)
        return 0;
    return SDL_JoystickNumButtons(metacon[n].joystick);
}

/* ---- hot-plugging ---------------------------------------------------- */

int vull_joystick_device_added(int device) {
    if (!vull_joystick_inited) return -1;
    repack_metacon();
    if (device < 0 || device >= VULL_MAX_CONTROLLERS) return -1;
    // SDL also announces devices that start-up already opened: keep those.
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
    for (int i = 0; i < VULL_MAX_CONTROLLERS; i++)
        if (occupied(metacon[i]) && metacon[i].instance_id == id) return i;
    for (int i = 0; i < VULL_MAX_CONTROLLERS; i++) {
        if (!occupied(metacon[i])) return connect_into(i, device) == 0 ? i : -1;
    }
    return -1;
}

int vull_joystick_device_removed(int32_t instance_id) {
    int found = -1;
    for (int i = 0; i < VULL_MAX_CONTROLLERS; i++) {
        if (occupied(metacon[i]) && metacon[i].instance_id == instance_id) {
            clear_record(metacon[i]);
            found = i;
            break;
        }
    }
    if (found < 0) {
        printf("** failed to disconnect\n");
        fflush(stdout);
    }
    repack_metacon();
    return found;
}

/* ---- reading --------------------------------------------------------- */

// An axis reads 0 until it has once been inside the centre band.
static int validate_axis(controller_rec &r, int n, int axis, int v, const char *which) {
    if (axis < 0 || axis >= VULL_CONTROLLER_AXES) return 0;
    if (!r.axis_ok[axis]) {
        if (v < -16383 || v > 16383) {
            if (!said_axis) {
                said_axis = 1;
                printf("** %s axis %d not validated on joystick %d\n", which, axis, n);
                fflush(stdout);
            }
            return 0;
        }
        r.axis_ok[axis] = 1;
    }
    return v;
}

void vull_get_joystick_axes(int n, int xaxis, int yaxis, int *x, int *y) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (n < 0 || n >= VULL_MAX_CONTROLLERS) return;
    controller_rec &r = metacon[n];
    int rx, ry;
    auto ok = [](int a) { return a >= 0 && a < VULL_CONTROLLER_AXES; };
    if (r.controller && SDL_GameControllerGetAttached(r.controller)) {
        rx = ok(xaxis) ? SDL_GameControllerGetAxis(r.controller, SDL_GameControllerAxis(xaxis)) : 0;
        ry = ok(yaxis) ? SDL_GameControllerGetAxis(r.controller, SDL_GameControllerAxis(yaxis)) : 0;
    } else if (r.joystick) {
        rx = ok(xaxis) ? SDL_JoystickGetAxis(r.joystick, xaxis) : 0;
        ry = ok(yaxis) ? SDL_JoystickGetAxis(r.joystick, yaxis) : 0;
    } else {
        if (!said_not_attached) {
            said_not_attached = 1;
            vull_plat_logf("** could not read joystick %d (not attached)\n", n);
        }
        return;
    }
    int vx = validate_axis(r, n, xaxis, rx, "x");
    int vy = validate_axis(r, n, yaxis, ry, "y");
    if (x) *x = vx;
    if (y) *y = vy;
}

void vull_get_joystick(int n, int *x, int *y, uint32_t *buttons) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
    // Only records with a controller handle are read, so the raw-joystick
    // branches below serve vull_get_joystick_axes' other callers only.
    if (n < 0 || n >= VULL_MAX_CONTROLLERS || !vull_joystick_inited || !metacon[n].controller ||
        n >= SDL_NumJoysticks())
        return;
    controller_rec &r = metacon[n];
    vull_get_joystick_axes(n, 0, 1, x, y);
    bool attached = SDL_GameControllerGetAttached(r.controller);
    uint32_t out = 0;
    for (int b = 0; b < 15; b++) {
        int pressed;
        if (attached)
            pressed = SDL_GameControllerGetButton(r.controller, SDL_GameControllerButton(b));
        else if (r.joystick)
            pressed = SDL_JoystickGetButton(r.joystick, b);
        else
            continue;
        uint32_t bit = 1u << b;
        if (!pressed) {
            r.button_ok |= bit;
        } else if (r.button_ok & bit) {
            out |= bit;
        } else if (attached && !said_button) {
            said_button = 1;
            printf("** button %d not validated on joystick %d\n", b, n);
            fflush(stdout);
        }
    }
    if (buttons) *buttons = out;
}
