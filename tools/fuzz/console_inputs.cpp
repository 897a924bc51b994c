// The console runtime driven by untrusted input: cart code through the token
// count and the preprocessor (cart_code), program text run headless as a cart
// (run_program), and whole programs that call the API's names with extreme
// arguments (api).
//
// The runs share one console, made once per process and reset between
// inputs: a fresh VM and carts each time, the code tabs and bitmaps kept and
// cleared. Each run gets a small CPU budget a slice and a bounded number of
// slices, its terminal and printh lines go nowhere, whatever it writes lands
// in a scratch home emptied before every input, and no external program can
// start (PATH names an empty folder).
#include "tools/fuzz/hostile_inputs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

#include "audio/channel.h"
#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "console/api.h"
#include "console/gfx_print.h"
#include "console/pre.h"
#include "console/run.h"
#include "cart/state.h"
#include "console/term.h"
#include "console/token.h"
#include "engine/config.h"
#include "engine/ctext.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "engine/undo.h"
#include "engine/vull.h"
#include "shell/zibo6.h"
#include "vm/lua.h"
#include "vm/zmath.h"

namespace {

constexpr int SLICE_BUDGET = 0x2000; // cycles a slice: a frame spans several
constexpr int RUN_SLICES = 16;       // host frames a run gets
// How far a slice may overrun its budget in Lua code that cannot yield before the
// yield error stops the cart: a runaway ends within a run's cycles, not ten seconds'.
constexpr int RUN_CYCLES = SLICE_BUDGET * RUN_SLICES;
constexpr int DEFERRAL_LIMIT = RUN_CYCLES;

void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "hostile console input: broken invariant: %s\n", what);
    std::abort();
}

/* ---- the console, made once ---- */

namespace fs = std::filesystem;

const char *const USER_FOLDERS[] = {"carts/",  "backup/", "cdata/",     "cstore/",
                                    "plates/", "bbs/",    "bbs/carts/", "bbs/labels/"};

struct console_rig {
    std::string home;
    int watch = -1;        // inotify descriptor watching every folder of the home
    console_state pstate0; // the state every run starts from
    app_state app0;
    // The memory cart and the working cart a run starts with, kept from run
    // to run and put back as a cart made afresh is; `fresh` is one such cart,
    // never run, that they are made equal to and checked against.
    zibo6_cart *kept[2] = {};
    zibo6_cart *fresh = nullptr;
};
console_rig *rig = nullptr;

// Whether anything was made, removed or renamed in a watched folder since the
// last call; the events are read and dropped.
bool home_changed() {
    bool changed = false;
    alignas(inotify_event) char events[4096];
    for (;;) {
        ssize_t n = read(rig->watch, events, sizeof events);
        if (n <= 0) return changed;
        changed = true;
    }
}

// An empty per-user folder, as start-up makes it, with the file output and
// desktop folders; made afresh only after a run changed something in it.
void clean_home() {
    if (!home_changed() && rig->watch >= 0 && fs::exists(rig->home)) return;
    if (rig->watch < 0) rig->watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    check(rig->watch >= 0, "home folder watch");
    std::error_code ec;
    fs::remove_all(rig->home, ec);
    for (const char *f : USER_FOLDERS) fs::create_directories(rig->home + f, ec);
    fs::create_directories(rig->home + "appdata/zibo-6", ec);
    fs::create_directories(rig->home + "desktop", ec);
    home_changed(); // the clean-up's own events
    constexpr uint32_t CHANGES = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY;
    check(inotify_add_watch(rig->watch, rig->home.c_str(), CHANGES) >= 0, "home folder watch");
    for (const auto &e : fs::recursive_directory_iterator(rig->home, ec))
        check(inotify_add_watch(rig->watch, e.path().c_str(), CHANGES) >= 0, "home folder watch");
}

vull_bitmap *blank_bitmap(int w, int h) {
    vull_bitmap *b = vull_create_bitmap(w, h, 8);
    check(b != nullptr, "console bitmap");
    return b;
}

void make_console() {
    if (rig) return;
    rig = new console_rig;
    const std::string scratch = hostile_scratch();
    rig->home = scratch + "/home/";
    fs::create_directories(scratch + "/no_programs");
    setenv("PATH", (scratch + "/no_programs").c_str(), 1);
    std::fflush(stdout);
    int null_fd = open("/dev/null", O_WRONLY);
    check(null_fd >= 0 && dup2(null_fd, 1) == 1, "standard output to /dev/null");
    close(null_fd);

    vull_set_application_title("zibo-6");
    std::snprintf(cconfig.home, sizeof cconfig.home, "%s", rig->home.c_str());
    std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%sdesktop/",
                  rig->home.c_str());
    record_api_function_names();
    lua_set_cpu_deferral_limit(DEFERRAL_LIMIT);

    app = app_state{};
    set_default_app_config();
    init_print_context();
    pstate = console_state{};
    pstate.headless = 1;
    pstate.fps = pstate.target_fps = 30;
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "%scarts/", rig->home.c_str());
    std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%scdata/", rig->home.c_str());
#ifdef ZIBO6_DATA_POD
    // The player's own data file: its fonts, bios cart and resources.
    if (!open_data_file(vull_load_pod(ZIBO6_DATA_POD)))
        std::fprintf(stderr, "hostile console input: running without %s\n", ZIBO6_DATA_POD);
#endif
    init_editor_state();
    for (auto &d : pstate.display) d = blank_bitmap(128, 128);
    pstate.screen = blank_bitmap(128, 128);
    pstate.scratch_1x1 = blank_bitmap(1, 1);
    pstate.scratch_8x8 = blank_bitmap(8, 8);
    for (auto &b : pstate.editor_bitmap) b = blank_bitmap(128, 128);
    for (auto &b : pstate.editor_sprite_bmp) b = blank_bitmap(8, 32);
    app.video_frame = blank_bitmap(128, 128);
    for (ctext *&t : pstate.code_tab) {
        t = vull_create_ctext(nullptr, 0x10002);
        check(t != nullptr, "code tab");
    }
    rig->pstate0 = pstate;
    rig->app0 = app;
    rig->fresh = vull_create_zibo6_cart();
    for (zibo6_cart *&k : rig->kept) k = vull_create_zibo6_cart();
    check(rig->fresh && rig->kept[0] && rig->kept[1], "carts");
    clean_home();
}

// The console's bitmaps are 8-bit with their rows in one block.
void clear_bitmap(vull_bitmap *b) {
    if (!b) return;
    if (b->pixels) std::memset(b->pixels, 0, size_t(b->width) * size_t(b->height));
    vull_reset_clip(b);
}

// Whether two 8-bit bitmaps have the same size, clip, tag and pixels.
FUZZ_HARNESS_UNTRACED bool same_bitmap(const vull_bitmap *a, const vull_bitmap *b) {
    if (!a || !b) return a == b;
    return a->width == b->width && a->height == b->height && a->bpp == b->bpp && a->bpp == 8 &&
           a->tag == b->tag && a->clip_x0 == b->clip_x0 && a->clip_x1 == b->clip_x1 &&
           a->clip_y0 == b->clip_y0 && a->clip_y1 == b->clip_y1 && a->pixels && b->pixels &&
           std::memcmp(a->pixels, b->pixels, size_t(a->width) * size_t(a->height)) == 0;
}

// Whether the record's own fields (all but the buffers it owns) equal the fresh cart's.
FUZZ_HARNESS_UNTRACED bool same_record(const zibo6_cart *c) {
    const zibo6_cart *f = rig->fresh;
    return std::memcmp(c->sfx, f->sfx, sizeof c->sfx) == 0 &&
           std::memcmp(c->music, f->music, sizeof c->music) == 0 &&
           std::memcmp(c->pattern_flags, f->pattern_flags, sizeof c->pattern_flags) == 0 &&
           std::memcmp(c->sprite_flags, f->sprite_flags, sizeof c->sprite_flags) == 0 &&
           c->version == f->version && c->legacy_applied == f->legacy_applied &&
           std::memcmp(c->change_mask, f->change_mask, sizeof c->change_mask) == 0;
}

// Whether cart c holds what a cart made afresh holds, field by field (its
// undo stacks are made anew at each reset, so only their presence counts).
FUZZ_HARNESS_UNTRACED bool same_as_fresh(const zibo6_cart *c) {
    const zibo6_cart *f = rig->fresh;
    bool undo = std::all_of(std::begin(c->undo), std::end(c->undo), [](auto *u) { return u; });
    return undo && same_record(c) && std::memcmp(c->code, f->code, ZIBO6_CODE_SIZE) == 0 &&
           same_bitmap(c->sprites, f->sprites) && same_bitmap(c->map, f->map) && !c->label;
}

// Puts a kept cart back as vull_create_zibo6_cart makes it (making and
// freeing two carts took a twentieth of a run): the record's fields copied
// from the fresh cart when they differ, its code and bitmaps cleared, its
// label dropped, its undo stacks made anew. A cart that then still differs
// from the fresh one is replaced by a new one. Nothing may play it any more.
// A field added to the record must be reset and compared here.
static_assert(sizeof(zibo6_cart) == 46760, "zibo6_cart changed: update renew_cart");
FUZZ_HARNESS_UNTRACED zibo6_cart *renew_cart(zibo6_cart *c) {
    vull_destroy_bitmap(c->label);
    c->label = nullptr;
    for (vull_undo_stack *&u : c->undo) {
        vull_destroy_undo_stack(u);
        u = vull_create_undo_stack();
    }
    if (!same_record(c)) {
        zibo6_cart own = *c; // its buffers and bitmaps stay its own
        *c = *rig->fresh;
        c->code = own.code;
        c->sprites = own.sprites;
        c->map = own.map;
        std::copy(std::begin(own.undo), std::end(own.undo), c->undo);
    }
    std::memset(c->code, 0, ZIBO6_CODE_SIZE);
    for (vull_bitmap *b : {c->sprites, c->map}) {
        if (b->pixels && b->bpp == 8)
            std::memset(b->pixels, 0, size_t(b->width) * size_t(b->height));
        b->tag = 0;
        vull_reset_clip(b);
    }
    if (same_as_fresh(c)) return c;
    vull_destroy_zibo6_cart(c);
    c = vull_create_zibo6_cart();
    check(c != nullptr, "carts");
    return c;
}

// Everything a run may have changed goes back to how the console started;
// the objects it kept (code tabs and bitmaps, renewed by a reboot) stay.
void reset_console() {
    if (zrun.L0_cart) lua_close(zrun.L0_cart);
    zrun = zibo6_run_state{};
    check(pstate.script_memory_used == 0 && pstate.host_memory_used == 0,
          "script memory accounted after the VM closed");
    destroy_print_buffer();
    print_context.pending = false;
    vull_stop_all_sounds();
    reset_run_chain();
    // The kept carts go back as new; one the run let go of (it loads another
    // cart in its place) it also freed, and a new one is kept instead.
    zibo6_cart *held[2] = {pstate.memory_cart, pitem.cart != pstate.memory_cart ? pitem.cart : nullptr};
    for (zibo6_cart *c : held)
        if (std::find(std::begin(rig->kept), std::end(rig->kept), c) == std::end(rig->kept))
            vull_destroy_zibo6_cart(c);
    for (zibo6_cart *&k : rig->kept) {
        if (std::find(std::begin(held), std::end(held), k) != std::end(held))
            k = renew_cart(k);
        else
            k = vull_create_zibo6_cart();
        check(k != nullptr, "carts");
    }
    pitem.cart = nullptr;
    vull_destroy_buffer(app.last_error_text);
    vull_free(app.cstore_targets);
    vull_free(app.paste_buffer);
    clear_cdata();
    cart_files_end_frame(); // no cart file kept from one input to the next

    console_state kept = pstate;
    vull_bitmap *video_frame = app.video_frame;
    pstate = rig->pstate0;
    app = rig->app0;
    std::copy(std::begin(kept.code_tab), std::end(kept.code_tab), pstate.code_tab);
    std::copy(std::begin(kept.display), std::end(kept.display), pstate.display);
    for (vull_bitmap *b : pstate.display) clear_bitmap(b);
    pstate.draw_surface = pstate.display[0];
    clear_bitmap(pstate.screen);
    app.video_frame = video_frame;
    clear_bitmap(app.video_frame);
    vull_quit = 0;
    clean_home();
}

// Runs code as the working cart: the shell's pending actions between slices
// as its frame loop carries them out, until the run stops, asks to quit or
// its slices are spent.
void run_as_cart(const char *code, size_t len) {
    make_console();
    pstate.memory_cart = rig->kept[0];
    pitem.cart = rig->kept[1];
    len = std::min(len, size_t(ZIBO6_CODE_SIZE - 1));
    std::memcpy(pitem.cart->code, code, len);
    pitem.cart->code[len] = '\0';
    split_code_to_tabs();
    pstate.pending_action = 1;
    for (int slice = 0; slice < RUN_SLICES && !vull_quit; slice++) {
        update_reset_glitch();
        bool starts = pstate.pending_action == 1;
        process_command();
        if (starts) zibo6_srand(0); // the same input runs the same way
        if (pstate.machine_mode != 1) break;
        if (pstate.reset_glitch_counter > 2) continue;
        run_slice(SLICE_BUDGET);
        // One call charged more than the whole run may spend (a long serial
        // transfer repeated, a huge print): in the player it holds the cart
        // for as many frames, here it ends the run.
        if (lua_get_cpu_cycles() > RUN_CYCLES) break;
        check(std::find(std::begin(pstate.display), std::end(pstate.display),
                        pstate.draw_surface) != std::end(pstate.display),
              "drawing goes to a display");
        check(pstate.script_memory_used >= 0 && pstate.host_memory_used >= 0,
              "script memory accounting");
    }
    reset_console();
}

/* ---- cart code ---- */

// The argument of the code's first "#include " line (blanks before it
// allowed, as the flattener finds one), up to its line's end; none without one.
bool include_argument(const char *code, std::string &argument) {
    for (const char *line = code; *line;) {
        const char *p = line + std::strspn(line, " \t");
        const char *end = std::strchr(p, '\n');
        if (std::strncmp(p, "#include ", 9) == 0) {
            argument.assign(p + 9, end ? end : p + std::strlen(p));
            return true;
        }
        if (!end) break;
        line = end + 1;
    }
    return false;
}

// The name's extension when it is a short one of letters and digits ("" else):
// the included file is read under it, the kind of file it names.
std::string include_extension(const char *name) {
    const char *base = std::strrchr(name, '/');
    const char *dot = std::strrchr(base ? base : name, '.');
    if (!dot || std::strlen(dot) > 8) return "";
    for (const char *c = dot + 1; *c; c++)
        if (!std::isalnum(static_cast<unsigned char>(*c))) return "";
    return dot;
}

// An include as the machinery's remnants read one: the argument names the file
// and a code tab of it; the file's bytes are `file`, read from the scratch
// folder under a name of the argument's extension (wherever the argument
// points). The text comes back ended by a newline, a tab of it without the
// tab marker.
void read_include(const std::string &argument, const uint8_t *file, size_t file_size) {
    make_console(); // the loader's messages go to its terminal
    char path[Z6_PATH_LEN], name[256];
    int tab = -2;
    if (get_include_filename(argument.c_str(), path, &tab, name) == 0)
        check(strnlen(path, sizeof path) < sizeof path, "include path ended within its buffer");
    check(strnlen(name, sizeof name) < sizeof name, "include name ended within its buffer");
    check(tab != -2, "include tab read");
    const std::string at = std::string(hostile_scratch()) + "/include" + include_extension(name);
    FILE *f = std::fopen(at.c_str(), "wb");
    check(f && (file_size == 0 || std::fwrite(file, 1, file_size, f) == file_size) &&
              std::fclose(f) == 0,
          "included file written");
    if (char *text = load_included_text(at.c_str(), tab)) {
        const size_t n = std::strlen(text);
        check(n >= 1 && text[n - 1] == '\n', "included text ends with a newline");
        check(tab < 0 || !std::strstr(text, "\n-->8\n"), "an included tab holds no tab marker");
        vull_free(text);
    }
    std::remove(at.c_str());
}

// A board cart's id from its file name: letters, digits, '-' and '_' right
// before its ".z6", found in the name.
void check_cart_id(const char *name) {
    const char *lid = get_lid_from_filename(name);
    const size_t n = strnlen(lid, 1024);
    check(n < 1024, "cart id ended within its buffer");
    for (size_t i = 0; i < n; i++)
        check(std::islower(static_cast<unsigned char>(lid[i])) ||
                  std::isdigit(static_cast<unsigned char>(lid[i])) || lid[i] == '-' || lid[i] == '_',
              "cart id of id characters");
    check(n == 0 || std::strstr(name, lid) != nullptr, "cart id found in the name");
}

// The token count and the preprocessor, on text no longer than a cart may
// compile (the runner refuses longer code before either sees it); the text
// as a board cart's file name; and the include reader on its first
// "#include " line, the bytes after the text's NUL being the included file.
int run_cart_code(const uint8_t *data, size_t size) {
    static bool names = (record_api_function_names(), true);
    (void)names;
    size_t len = size < ZIBO6_CODE_CHAR_LIMIT ? size : ZIBO6_CODE_CHAR_LIMIT;
    std::string code(reinterpret_cast<const char *>(data), len);
    len = strlen(code.c_str()); // a NUL ends the text
    check_cart_id(code.c_str());
    std::string argument;
    if (include_argument(code.c_str(), argument) || len < size) {
        const size_t file = std::min(len + 1, size);
        read_include(argument, data + file, size - file);
    }
    int n = count_tokens(code.c_str());
    check(n >= 0 && static_cast<size_t>(n) <= len, "more tokens than characters");
    std::string out;
    if (zibo6_preprocess(code.c_str(), out) != 0) return 0; // refused as too large
    size_t in_lines = std::count(code.c_str(), code.c_str() + len, '\n');
    check(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= in_lines,
          "the preprocessor lost a line");
    return 0;
}

/* ---- whole runs ---- */

int run_run_program(const uint8_t *data, size_t size) {
    run_as_cart(reinterpret_cast<const char *>(data), size);
    return 0;
}

// Argument texts a call may get: the ends of the number range, addresses at
// the edges of the memory map, every kind of value, and strings that name
// files, commands, control codes and nothing at all.
const char *const EXTREMES[] = {
    "0",
    "1",
    "-1",
    "2",
    "3",
    "7",
    "8",
    "15",
    "16",
    "31",
    "32",
    "63",
    "64",
    "127",
    "128",
    "255",
    "256",
    "-128",
    "-129",
    "0.5",
    "0x.0001",
    "-0x.0001",
    "0x7fff.ffff",
    "-0x7fff.ffff",
    "0x8000",
    "32767",
    "-32767",
    "0x1000",
    "0x2000",
    "0x3100",
    "0x4300",
    "0x5e00",
    "0x5f00",
    "0x5f2c",
    "0x5f40",
    "0x5f80",
    "0x6000",
    "0x7fff",
    "0xffff",
    "0x8000.0001",
    "nil",
    "true",
    "false",
    "\"\"",
    "\"0\"",
    "\"x\"",
    "\"\\0\"",
    "\"0x7fff.ffff\"",
    "\"-\"",
    "\"1e4\"",
    "\"a\\n\\r\\tb\"",
    "\"\\^w\\^t\\^c0\\^#\\^x9\\^y9\"",
    "\"\\a\\b\\f\\v\\14\\15\"",
    "\"\\^d9\\^8\\^i\\^o\\^-\\^+\"",
    "\"\\^@56000010\"",
    "\"\\^!5f0012345678\"",
    "\"..\"",
    "\"/\"",
    "\"../../x\"",
    "\"#abc\"",
    "\"@clip\"",
    "\"label\"",
    "\"reset\"",
    "\"rec\"",
    "\"video\"",
    "\"screen\"",
    "\"pause\"",
    "\"breadcrumb\"",
    "\"x.z6\"",
    "\"x.z6.png\"",
    "\"x.lua\"",
    "\"x.txt\"",
    "\"0b1\"",
    "\"0x\"",
    "{}",
    "{1,2,3}",
    "{0x7fff.ffff,-0x8000}",
    "{[0]=1}",
    "{x=1,y=2}",
    "{{}}",
    "function() end",
    "function() return 0x7fff end",
    "cocreate(function() end)",
    "_ENV",
};
constexpr int EXTREME_COUNT = sizeof EXTREMES / sizeof EXTREMES[0];

// A long text of every byte a string may hold, built once.
const std::string &long_text() {
    static const std::string text = [] {
        std::string s = "\"";
        for (int i = 0; i < 600; i++) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%d", (i * 37 + 1) & 255);
            s += esc;
        }
        return s + "\"";
    }();
    return text;
}

// Names a cart may call: the API and what its prelude defines.
const char *const PRELUDE_NAMES[] = {"menuitem", "pairs",  "ipairs",  "all",    "foreach",
                                     "tostr",    "stop",   "print",   "printh", "flip",
                                     "load",     "extcmd", "coresume"};
constexpr int PRELUDE_NAME_COUNT = sizeof PRELUDE_NAMES / sizeof PRELUDE_NAMES[0];

const char *api_name(int i) {
    int n = z6_api_table_size + z6_api_system_table_size + PRELUDE_NAME_COUNT;
    i %= n;
    if (i < z6_api_table_size) return z6_api_table[i].name;
    i -= z6_api_table_size;
    if (i < z6_api_system_table_size) return z6_api_system_table[i].name;
    return PRELUDE_NAMES[i - z6_api_system_table_size];
}

// The input is a program: byte 0 places the calls (at the top, in _init,
// _update or _draw, or _update60), then each call is a 16-bit name index, a
// byte whose low 3 bits count the arguments and whose top bit makes the call
// direct (an error then stops the cart; otherwise it runs in a coroutine that
// catches it), and one byte per argument. ZIBO6_SHOW_PROGRAM=1 in the
// environment prints the program of each input (to read a finding).
std::string api_program(const uint8_t *data, size_t size) {
    size_t at = 1;
    auto next = [&]() -> int { return at < size ? data[at++] : 0; };
    std::string calls;
    while (at < size) {
        int name = next();
        name |= next() << 8;
        int shape = next();
        std::string call = std::string(api_name(name)) + "(";
        for (int a = 0; a < (shape & 7); a++) {
            int pick = next();
            if (a) call += ",";
            call += pick == 255 ? long_text().c_str() : EXTREMES[pick % EXTREME_COUNT];
        }
        call += ")";
        if (shape & 0x80)
            calls += call + "\n";
        else
            calls += "coresume(cocreate(function() " + call + " end))\n";
    }
    static const char *const PLACES[][2] = {{"", ""},
                                            {"function _init()\n", "end\n"},
                                            {"function _update()\n", "end\n"},
                                            {"function _draw()\n", "end\n"},
                                            {"function _update60()\n", "end\n"}};
    const auto &place = PLACES[(size ? data[0] : 0) % 5];
    return place[0] + calls + place[1];
}

int run_api(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    std::string program = api_program(data, size);
    if (std::getenv("ZIBO6_SHOW_PROGRAM")) std::fprintf(stderr, "%s\n", program.c_str());
    run_as_cart(program.c_str(), program.size());
    return 0;
}

} // namespace

void hostile_attach() { zibo6_attach_shell(); }

const hostile_entry hostile_entries[] = {
    {"cart_code", run_cart_code},
    {"run_program", run_run_program},
    {"api", run_api},
    {nullptr, nullptr},
};
