// The ls listing, one entry per call so that a long folder prints a screen
// at a time: the folder's heading, its folders, then its carts (and, with a
// pattern starting with "*", every other file), with "--more--" whenever the
// line budget runs out before the end.
#include <cstdio>
#include <cstring>

#include "cart/state.h"
#include "console/api.h" // ls_pattern
#include "console/term.h"
#include "engine/mem.h"
#include "platform/system.h"
#include "shell/compose.h"


namespace {

enum ls_step { LS_IDLE, LS_FOLDERS, LS_START_FILES, LS_FILES };

void finish() {
    vull_find_close(pstate.ls_dir);
    vull_free(pstate.ls_dir);
    pstate.ls_dir = nullptr;
    pstate.ls_state = LS_IDLE;
}

void more_if_out_of_lines() {
    if (pstate.ls_lines <= 0 && pstate.ls_state != LS_IDLE) zibo_print_col("--more--", 12);
}

void print_entry(const char *name, int colour) {
    zibo_print_col(name, colour);
    pstate.ls_lines--;
    more_if_out_of_lines();
}

// The listed folder: root_path and the current folder.
void folder_path(char *out, size_t size) {
    std::snprintf(out, size, "%s%s", pstate.root_path, pstate.current_folder);
}

// Starts a search of the folder for entries of the given mode; false when
// nothing could be opened or nothing was found.
bool start_search(uint32_t mask) {
    if (!pstate.ls_dir)
        pstate.ls_dir = static_cast<vull_find_rec *>(vull_malloc(sizeof(vull_find_rec)));
    if (!pstate.ls_dir) return false;
    char folder[Z6_PATH_LEN * 2];
    folder_path(folder, sizeof folder);
    return vull_find_first(folder, "*", pstate.ls_dir, mask) == 0;
}

} // namespace

void zibo6_list_files() {
    switch (pstate.ls_state) {
    case LS_IDLE: {
        char heading[Z6_PATH_LEN + 16];
        std::snprintf(heading, sizeof heading, "directory: /%s", pstate.current_folder);
        zibo_print_col(heading, 12);
        pstate.ls_state = start_search(VULL_MODE_DIR) ? LS_FOLDERS : LS_START_FILES;
        if (pstate.ls_state == LS_FOLDERS) {
            // The first match is waiting in the record: show it on this call.
            const char *n = pstate.ls_dir->name;
            if (std::strcmp(n, ".") != 0 && std::strcmp(n, "..") != 0) print_entry(n, 14);
        }
        return;
    }
    case LS_FOLDERS:
        while (vull_find_next(pstate.ls_dir) == 0) {
            const char *n = pstate.ls_dir->name;
            if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
            print_entry(n, 14);
            return;
        }
        vull_find_close(pstate.ls_dir);
        pstate.ls_state = LS_START_FILES;
        return;
    case LS_START_FILES:
        if (!start_search(VULL_MODE_FILE)) {
            finish();
            return;
        }
        pstate.ls_state = LS_FILES;
        if (std::strstr(pstate.ls_dir->name, ".z6")) {
            print_entry(pstate.ls_dir->name, 6);
        } else if (ls_pattern[0] == '*') {
            print_entry(pstate.ls_dir->name, 5);
        }
        return;
    case LS_FILES:
        while (vull_find_next(pstate.ls_dir) == 0) {
            const char *n = pstate.ls_dir->name;
            if (std::strstr(n, ".z6")) {
                print_entry(n, 6);
                return;
            }
            if (ls_pattern[0] == '*') {
                print_entry(n, 5);
                return;
            }
            if (pstate.ls_lines <= 0) {
                more_if_out_of_lines();
                return;
            }
        }
        finish();
        return;
    default: finish(); return;
    }
}
