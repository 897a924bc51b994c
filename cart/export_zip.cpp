// Zip archives of the exported program folders, written with libzip. Every
// entry is marked as made on Unix with a regular-file mode, executable for
// programs, so that an unpacked program runs without a chmod.
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cart/export.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "platform/system.h"

namespace {

constexpr uint32_t ZIP_ATTR_EXECUTABLE = 0x81FD0000; // regular file, mode 0775
constexpr uint32_t ZIP_ATTR_PLAIN = 0x81A40000;      // regular file, mode 0644
constexpr uint32_t ZIP_ATTR_ADD_PERMS = 0x01FD0000;  // 0775 added to given attributes
constexpr uint32_t ZIP_ATTR_DOS_FOLDER = 0x10;       // the DOS folder bit of a folder entry
constexpr int ZIP_DEPTH_MAX = 33;                    // folder nesting packed at most

struct zip_flags_rec {
    int executable_next; // the next entry gets mode 0775
    int force_new;       // the next add truncates the archive
};
zip_flags_rec zip_flags;

uint32_t entry_attributes(uint32_t given, bool executable) {
    if (given == 0) return executable ? ZIP_ATTR_EXECUTABLE : ZIP_ATTR_PLAIN;
    return given + ZIP_ATTR_ADD_PERMS;
}

// Programs carry no extension on Linux and macOS, ".exe" on Windows.
bool is_program_name(const char *name) {
    return std::strchr(name, '.') == nullptr || std::strstr(name, ".exe") != nullptr;
}

} // namespace

void mz_set_executable_bit_on_next_file() { zip_flags.executable_next = 1; }

void mz_set_force_create_new_file() { zip_flags.force_new = 1; }

int mz_zip_add_mem_to_archive_file_in_place_v2(const char *zip_path, const char *name,
                                               const void *data, size_t size, int level,
                                               int *error) {
    // Both flags are one-shot: taken here whether or not the add succeeds.
    bool executable = zip_flags.executable_next != 0;
    bool force = zip_flags.force_new != 0;
    zip_flags = {};
    if (error) *error = ZIP_ER_OK;
    if (!zip_path || !name || !*name || (size > 0 && !data)) {
        if (error) *error = ZIP_ER_INVAL;
        return 0;
    }
    int err = ZIP_ER_OK;
    zip_t *za = zip_open(zip_path, ZIP_CREATE | (force ? ZIP_TRUNCATE : 0), &err);
    if (!za) {
        if (error) *error = err;
        return 0;
    }
    size_t len = std::strlen(name);
    bool folder = name[len - 1] == '/' && size == 0;
    zip_int64_t index;
    if (folder) {
        index = zip_dir_add(za, name, ZIP_FL_ENC_UTF_8);
    } else {
        zip_source_t *src = zip_source_buffer(za, data, size, 0);
        index = src ? zip_file_add(za, name, src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
        if (index < 0 && src) zip_source_free(src);
    }
    bool ok = index >= 0;
    if (ok && !folder) {
        zip_int32_t method = level > 0 ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
        ok = zip_set_file_compression(za, zip_uint64_t(index), method,
                                      zip_uint32_t(std::clamp(level, 0, 9))) == 0;
    }
    if (ok) {
        uint32_t attrs = entry_attributes(folder ? ZIP_ATTR_DOS_FOLDER : 0, executable);
        ok = zip_file_set_external_attributes(za, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, attrs) ==
             0;
    }
    if (!ok) {
        if (error) *error = zip_error_code_zip(zip_get_error(za));
        zip_discard(za); // the archive on disk stays as it was
        return 0;
    }
    if (zip_close(za) != 0) {
        if (error) *error = zip_error_code_zip(zip_get_error(za));
        zip_discard(za);
        return 0;
    }
    return 1;
}

int mz_zip_add_mem_to_archive_file_in_place(const char *zip_path, const char *name,
                                            const void *data, size_t size, int level) {
    return mz_zip_add_mem_to_archive_file_in_place_v2(zip_path, name, data, size, level, nullptr);
}

int add_to_zip_file(const char *zip_path, const char *folder, const char *prefix, int depth) {
    if (depth >= ZIP_DEPTH_MAX || !zip_path || !folder || !prefix) return 1;
    // Listed first and sorted, so that archives come out the same each time.
    struct entry {
        std::string name;
        bool folder;
    };
    std::vector<entry> entries;
    vull_find_rec rec;
    // The lister refuses folders its record cannot name: say so rather than
    // leave the archive silently short.
    if (std::strlen(folder) >= sizeof rec.folder) {
        std::printf("** export error: couldn't read: %s\n", folder);
        return 1;
    }
    if (vull_find_first(folder, "", &rec, VULL_MODE_DIR | VULL_MODE_FILE) == 0) {
        do {
            if (rec.name[0] == '.') continue;
            entries.push_back({rec.name, (rec.mode & 0xF000) == VULL_MODE_DIR});
        } while (vull_find_next(&rec) == 0);
    }
    vull_find_close(&rec);
    std::sort(entries.begin(), entries.end(),
              [](const entry &a, const entry &b) { return a.name < b.name; });

    int failed = 0;
    for (const entry &e : entries) {
        std::string path = std::string(folder) + "/" + e.name;
        std::string entry_name = std::string(prefix) + e.name;
        if (e.folder) {
            entry_name += "/";
            if (!mz_zip_add_mem_to_archive_file_in_place(zip_path, entry_name.c_str(), nullptr, 0,
                                                         9)) {
                failed = 1;
                continue;
            }
            if (add_to_zip_file(zip_path, path.c_str(), entry_name.c_str(), depth + 1) != 0)
                failed = 1;
            continue;
        }
        cbuffer *data = vull_load_file(path.c_str(), EXPORT_FILE_MAX);
        if (!data) {
            std::printf("** export error: couldn't read: %s\n", path.c_str());
            failed = 1;
            continue;
        }
        if (is_program_name(e.name.c_str())) mz_set_executable_bit_on_next_file();
        if (!mz_zip_add_mem_to_archive_file_in_place(zip_path, entry_name.c_str(), data->data,
                                                     size_t(data->length), 9))
            failed = 1;
        vull_destroy_buffer(data);
    }
    return failed;
}

int generate_zip_file(const char *zip_path, const char *folder, const char *prefix) {
    mz_set_force_create_new_file();
    int failed = add_to_zip_file(zip_path, folder, prefix, 0);
    // An empty folder adds nothing: the old archive must not outlive the new export.
    if (zip_flags.force_new) {
        zip_flags = {};
        if (zip_path) vull_remove(zip_path);
    }
    return failed;
}
