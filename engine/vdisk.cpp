// Virtual disk: a flat, process-lifetime store of named memory files.
//
// A file is named by its base name and extension only, so carts/a.z6 and a.z6 are one
// file. Files are added, never removed; vull_fclose leaves them alone.
#include "engine/disk.h"
#include "engine/hooks.h"
#include "engine/vull.h"

#include <cstring>

static vull_file *vdisk_files[VULL_VDISK_MAX]; // in order of creation
static int vdisk_count;                        // entries of vdisk_files in use

bool vull_vdisk_key(const char *path, char *key) {
    if (!path) return false;
    char name[VULL_PATH_LEN], extension[VULL_PATH_LEN];
    vull_split_filename(path, nullptr, name, extension);
    size_t name_len = std::strlen(name), ext_len = std::strlen(extension);
    // A key the name field cannot hold is refused: cutting it could alias two files.
    if (name_len + ext_len == 0 || name_len + ext_len >= (size_t)VULL_VDISK_NAME) return false;
    std::memcpy(key, name, name_len);
    std::memcpy(key + name_len, extension, ext_len + 1);
    return true;
}

static vull_file *find_vdisk_file(const char *key) {
    for (int i = 0; i < vdisk_count; i++)
        if (std::strcmp(vdisk_files[i]->name, key) == 0) return vdisk_files[i];
    return nullptr;
}

vull_file *vull_fopen_vdisk(const char *path, const char *mode) {
    if (!path || !mode) return nullptr;
    char key[VULL_VDISK_NAME];
    if (!vull_vdisk_key(path, key)) return nullptr;

    vull_file *f = find_vdisk_file(key);
    if (!f && mode[0] == 'r' && vull_vdisk_miss_hook && vull_vdisk_miss_hook(key))
        f = find_vdisk_file(key); // written just now
    if (f) {
        if (mode[0] != 'r' && mode[0] != 'w') return nullptr;
        f->position = 0;
        if (mode[0] == 'w') f->length = 0;
        return f;
    }
    if (mode[0] != 'w') return nullptr;
    if (vdisk_count >= VULL_VDISK_MAX) {
        vull_debug("vull_fopen_vdisk: virtual disk full\n");
        return nullptr;
    }
    f = vull_create_buffer(4);
    if (!f) return nullptr;
    f->vdisk = 1;
    std::memcpy(f->name, key, std::strlen(key) + 1);
    vdisk_files[vdisk_count++] = f;
    return f;
}

int vdisk_file_owned(vull_file *f) {
    if (!f) return 0;
    for (int i = 0; i < vdisk_count; i++)
        if (vdisk_files[i] == f) return 1;
    return 0;
}
