// The test input script (platform/script.h): its reader, and the pass driver
// that pushes its steps and stands in for the devices the pump samples.
#include "platform/script.h"

#include <cstdio>
#include <cstring>

#include "platform/backend.h"
#include "platform/events.h"
#include "platform/pump.h"
#include "platform/system.h"

namespace {

struct key_name {
    const char *name;
    int scancode;
};

// Keys by name (the back end's scancodes, the USB usage numbers); letters
// and digits are read apart.
constexpr key_name KEY_NAMES[] = {
    {"Return", 40}, {"Escape", 41},  {"Backspace", 42}, {"Tab", 43},     {"Space", 44},
    {"Minus", 45},  {"Equals", 46},  {"Insert", 73},    {"Home", 74},    {"PageUp", 75},
    {"Delete", 76}, {"End", 77},     {"PageDown", 78},  {"Right", 79},   {"Left", 80},
    {"Down", 81},   {"Up", 82},      {"LCtrl", 224},    {"LShift", 225}, {"LAlt", 226},
    {"RCtrl", 228}, {"RShift", 229}, {"RAlt", 230},
};

int scancode_of(const std::string &name) {
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return 4 + (name[0] - 'a');
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '9') return 30 + (name[0] - '1');
    if (name == "0") return 39;
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        int n = 0;
        for (size_t i = 1; i < name.size(); i++) {
            if (name[i] < '0' || name[i] > '9') return -1;
            n = n * 10 + (name[i] - '0');
        }
        return n >= 1 && n <= 12 ? 57 + n : -1;
    }
    for (const key_name &k : KEY_NAMES)
        if (name == k.name) return k.scancode;
    return -1;
}

int button_of(const std::string &name) {
    return name == "left" ? 1 : name == "middle" ? 2 : name == "right" ? 3 : -1;
}

// A decimal in [lo, hi]; false for anything else (signs, overflow, junk).
bool number_of(const std::string &s, int lo, int hi, int32_t &out) {
    bool neg = !s.empty() && s[0] == '-';
    size_t i = neg ? 1 : 0;
    if (i >= s.size() || s.size() - i > 9) return false;
    int64_t v = 0;
    for (; i < s.size(); i++) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (neg) v = -v;
    if (v < lo || v > hi) return false;
    out = int32_t(v);
    return true;
}

// Splits off the next blank-separated word of line from pos.
std::string word(const std::string &line, size_t &pos) {
    while (pos < line.size() && line[pos] == ' ') pos++;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') pos++;
    return line.substr(start, pos - start);
}

// The rest of the line after one blank, as it stands.
std::string rest(const std::string &line, size_t pos) {
    if (pos < line.size() && line[pos] == ' ') pos++;
    return line.substr(pos < line.size() ? pos : line.size());
}

// One line into step; an empty result, or what is wrong with it.
std::string parse_line(const std::string &line, vull_script_step &s) {
    size_t pos = 0;
    if (word(line, pos) != "frame") return "a step starts with \"frame N\"";
    if (!number_of(word(line, pos), 1, VULL_SCRIPT_MAX_FRAME, s.frame))
        return "the frame is not a number from 1 to " + std::to_string(VULL_SCRIPT_MAX_FRAME);
    std::string op = word(line, pos);
    std::string a;
    if (op == "keydown" || op == "keyup") {
        s.op = op == "keydown" ? vull_script_op::key_down : vull_script_op::key_up;
        a = word(line, pos);
        if ((s.code = scancode_of(a)) < 0) return "no key is named \"" + a + "\"";
    } else if (op == "mousedown" || op == "mouseup") {
        s.op = op == "mousedown" ? vull_script_op::button_down : vull_script_op::button_up;
        a = word(line, pos);
        if ((s.code = button_of(a)) < 0)
            return "the button is left, middle or right, not \"" + a + "\"";
    } else if (op == "mousemove") {
        s.op = vull_script_op::motion;
        if (!number_of(word(line, pos), 0, 65535, s.x) ||
            !number_of(word(line, pos), 0, 65535, s.y))
            return "mousemove takes two window pixel positions from 0 to 65535";
    } else if (op == "text" || op == "dump") {
        s.op = op == "text" ? vull_script_op::text : vull_script_op::dump;
        s.text = rest(line, pos);
        if (s.text.empty()) return op + " needs " + (op == "text" ? "a text" : "a path");
        for (char c : s.text)
            if (op == "text" && (c < ' ' || c > '~')) return "text takes printable ASCII only";
        return "";
    } else if (op == "quit") {
        s.op = vull_script_op::quit;
    } else {
        return "no step is named \"" + op + "\"";
    }
    if (!word(line, pos).empty()) return "more than " + op + " takes";
    return "";
}

// The whole file, through the guarded open: a regular file of at most max bytes.
bool read_bounded(const char *path, size_t max, std::string &out, std::string &error) {
    error = "not a readable regular file of at most " + std::to_string(max) + " bytes";
    FILE *f = vull_open_read(path, int64_t(max));
    if (!f) return false;
    out.assign(max + 1, '\0'); // one more: a file that grew since the open is refused too
    size_t n = std::fread(out.data(), 1, out.size(), f);
    bool ok = !std::ferror(f) && n <= max;
    std::fclose(f);
    out.resize(n);
    return ok;
}

struct script_rec {
    bool on;
    std::vector<vull_script_step> steps;
    size_t next;       // first step not pushed yet
    int64_t frame;     // passes begun
    uint8_t keys[512]; // held, by scancode
    int pointer_x, pointer_y;
    uint32_t buttons;               // VULL_POINTER_ bits
    std::vector<std::string> dumps; // paths waiting for a picture
    vull_script_saver save;
    vull_events_hooks saved_hooks; // the pump's hooks before the script took them
};
script_rec script;

const uint8_t *script_keyboard(int *n) {
    *n = int(sizeof script.keys);
    return script.keys;
}
int script_modstate() { return 0; } // held modifier keys are in the key state
uint32_t script_pointer(int *x, int *y) {
    *x = script.pointer_x;
    *y = script.pointer_y;
    return script.buttons;
}
uint64_t script_clock() { return uint64_t(script.frame) * VULL_SCRIPT_MS_PER_FRAME; }
void script_sleep(uint32_t) {}

constexpr uint32_t button_bit(int button) {
    return button == 1 ? VULL_POINTER_LEFT : button == 2 ? VULL_POINTER_MIDDLE : VULL_POINTER_RIGHT;
}

void apply(const vull_script_step &s) {
    switch (s.op) {
    case vull_script_op::key_down: script.keys[s.code] = 1; break;
    case vull_script_op::key_up: script.keys[s.code] = 0; break;
    case vull_script_op::motion:
        script.pointer_x = s.x;
        script.pointer_y = s.y;
        break;
    case vull_script_op::button_down: script.buttons |= button_bit(s.code); break;
    case vull_script_op::button_up: script.buttons &= ~button_bit(s.code); break;
    case vull_script_op::dump: script.dumps.push_back(s.text); return;
    default: break;
    }
    vull_plat_push_event(s, script.pointer_x, script.pointer_y);
}

} // namespace

bool vull_script_parse(const char *bytes, size_t n, std::vector<vull_script_step> &steps,
                       std::string &error) {
    steps.clear();
    int32_t last = 1;
    int line_no = 0;
    for (size_t pos = 0; pos < n;) {
        line_no++;
        const void *nl = std::memchr(bytes + pos, '\n', n - pos);
        size_t end = nl ? size_t(static_cast<const char *>(nl) - bytes) : n;
        std::string line(bytes + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string why;
        vull_script_step s{};
        if (line.size() > size_t(VULL_SCRIPT_MAX_LINE))
            why = "longer than " + std::to_string(VULL_SCRIPT_MAX_LINE) + " characters";
        else if (line.find('\0') != std::string::npos)
            why = "holds a NUL byte";
        size_t first = line.find_first_not_of(' ');
        if (why.empty() && (first == std::string::npos || line[first] == '#')) continue;
        if (why.empty()) why = parse_line(line, s);
        if (why.empty() && s.frame < last)
            why = "frame " + std::to_string(s.frame) + " comes after frame " + std::to_string(last);
        if (!why.empty()) {
            error = "line " + std::to_string(line_no) + ": " + why;
            steps.clear();
            return false;
        }
        last = s.frame;
        steps.push_back(std::move(s));
    }
    return true;
}

bool vull_script_start(const char *path, vull_script_saver save, std::string &error) {
    std::string text, why;
    std::vector<vull_script_step> steps;
    if (!read_bounded(path, VULL_SCRIPT_MAX_BYTES, text, why) ||
        !vull_script_parse(text.data(), text.size(), steps, why)) {
        error = std::string("input script ") + path + ": " + why;
        return false;
    }
    vull_script_stop();
    script.steps = std::move(steps);
    script.save = save;
    script.on = true;
    script.saved_hooks = vull_events_hook;
    vull_events_hook.keyboard = script_keyboard;
    vull_events_hook.modstate = script_modstate;
    vull_events_hook.mouse = script_pointer;
    vull_events_hook.now = script_clock;
    vull_events_hook.sleep = script_sleep;
    return true;
}

void vull_script_stop() {
    if (script.on) vull_events_hook = script.saved_hooks;
    script = script_rec{};
}

bool vull_script_on() { return script.on; }

int64_t vull_script_frame() { return script.frame; }

void vull_script_pass() {
    if (!script.on) return;
    script.frame++;
    while (script.next < script.steps.size() && script.steps[script.next].frame <= script.frame)
        apply(script.steps[script.next++]);
}

bool vull_script_dump_wanted() { return script.on && !script.dumps.empty(); }

void vull_script_picture(const uint32_t *argb, int w, int h) {
    for (const std::string &path : script.dumps)
        if (!script.save || script.save(path.c_str(), argb, w, h) != 0)
            std::fprintf(stderr, "input script: could not write %s\n", path.c_str());
    script.dumps.clear();
}
