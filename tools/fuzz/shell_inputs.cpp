// The player shell's readers of untrusted input, each driven by one byte
// string: console config.txt lines together with the command line (the
// settings must end in their ranges), and data.pod with its entries opened as
// the player opens them.
#include "tools/fuzz/hostile_inputs.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/state.h"
#include "engine/disk.h"
#include "engine/pod.h"
#include "shell/zibo6.h"

namespace {

void check(bool ok, const char *what) {
    if (ok) return;
    fprintf(stderr, "shell fuzz: %s\n", what);
    abort();
}

int run_console_config(const uint8_t *data, size_t size) {
    app = app_state{};
    set_default_app_config();
    std::string text(reinterpret_cast<const char *>(data), size), line;
    std::vector<std::string> words = {"zibo6"};
    for (char c : text) {
        if (c == '\n' || c == '\0') {
            zibo6_load_config(line.c_str());
            line.clear();
        } else {
            line += c;
        }
    }
    zibo6_load_config(line.c_str());
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    // files named by -i and -o are never opened by the fuzzer
    for (std::string &w : words)
        if (w == "-i" || w == "-o") w = "-volume";
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    process_arguments(int(argv.size()), argv.data());
    check(app.volume >= 0 && app.volume <= 256, "volume out of range");
    check(app.gif_len >= 0 && app.gif_len <= 120, "gif_len out of range");
    check(app.tab_width >= 1 && app.tab_width <= 8, "tab_width out of range");
    check(app.joystick_index >= 0 && app.joystick_index <= 7, "joystick_index out of range");
    for (int32_t k : app.button_keys) check(k >= 0 && k <= 511, "button key out of range");
    check(extra_args.count >= 0 && extra_args.count <= Z6_EXTRA_ARGS, "extra argument count");
    return 0;
}

int run_data_file(const uint8_t *data, size_t size) {
    if (size > (1u << 24)) return 0;
    vull_file *f = vull_fopen_memory(const_cast<uint8_t *>(data), int(size));
    bool opened = open_data_file(vull_load_pod_file("", f));
    vull_fclose(f);
    check(!opened || (pstate.bios_cart && pstate.resource_pod && pstate.font_pod),
          "opened without its entries");
    close_data_file();
    return 0;
}

} // namespace

const hostile_entry hostile_entries[] = {
    {"console_config", run_console_config},
    {"data_file", run_data_file},
    {nullptr, nullptr},
};
