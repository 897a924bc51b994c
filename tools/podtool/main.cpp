// podtool: list, extract and create POD files with the engine's own reader and
// writer, so the tool and the program can never disagree about the format.
#include "audio/mixer.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "engine/voxel.h"
#include "platform/system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int MAX_NESTING = 16; // nested pods listed at most this deep

void usage() {
    std::fprintf(
        stderr,
        "usage: podtool list FILE\n"
        "       podtool extract FILE INDEX OUT\n"
        "       podtool create OUT [--lz4] [--name NAME] FILES...\n"
        "list prints one line per item: index, chunk type, name and size (the data bytes of a\n"
        "file item, the body bytes of any other chunk); pods inside file items are listed\n"
        "below their item, indented. It exits 1 when a pod holds fewer items than its header\n"
        "names (the items before the damage are still listed).\n");
}

const char *chunk_name(int type) {
    switch (type) {
    case CPOD_BITMAP: return "CBMP";
    case CPOD_PALETTE: return "CPAL";
    case CPOD_MODEL: return "CMOD";
    case CPOD_MATERIAL: return "CMAT";
    case CPOD_ANIM: return "CANI";
    case CPOD_SOUND: return "CSND";
    case CPOD_VOXMAP: return "CVMP";
    case CPOD_SYNTH: return "CSYN";
    case CPOD_FILE: return "CFIL";
    default: return "????";
    }
}

// Bytes of the item's chunk body as the engine writes it uncompressed.
int body_size(int type, void *item) {
    int saved = cconfig.pod_compression;
    cconfig.pod_compression = 0;
    cpod *one = vull_create_pod(1);
    cbuffer *out = vull_create_buffer(0);
    int size = -1;
    if (one && out && cpod_add_item(one, type, item) == 0 && vull_save_pod_file("", one, out) == 0)
        size = out->length - POD_HEADER_SIZE - 8;
    if (one && one->count > 0) cpod_delete_item_soft(one, 0);
    vull_destroy_pod(one);
    vull_destroy_buffer(out);
    cconfig.pod_compression = saved;
    return size;
}

// The item count stored in a pod's header (the reader itself ignores it).
int header_count(const uint8_t *data, int length) {
    if (length < POD_HEADER_SIZE) return -1;
    int32_t count;
    std::memcpy(&count, data + 44, sizeof count);
    return count;
}

bool looks_like_pod(const vull_file *f) {
    return f->kind == VULL_FILE_MEMORY && f->data && f->length >= POD_HEADER_SIZE &&
           std::memcmp(f->data, "CPOD", 4) == 0;
}

// Lists a pod read from data; false when it (or a pod nested in it) is refused.
bool list_pod(uint8_t *data, int length, int depth, const char *label) {
    vull_file *f = vull_fopen_memory(data, length);
    cpod *pod = f ? vull_load_pod_file(label, f) : nullptr;
    vull_fclose(f);
    std::string indent((size_t)depth * 2, ' ');
    if (!pod) {
        std::fprintf(stderr, "podtool: %s: not a readable pod (damaged, empty or not a pod)\n",
                     label);
        return false;
    }
    int stored = header_count(data, length);
    std::printf("%spod \"%s\": %d items\n", indent.c_str(), pod->name, pod->count);
    // Fewer items than the header names: what is listed is not the whole file.
    bool ok = stored <= pod->count;
    if (!ok)
        std::fprintf(stderr,
                     "podtool: %s: header says %d items, only %d read (the file is cut or "
                     "damaged)\n",
                     label, stored, pod->count);
    else if (stored != pod->count)
        std::fprintf(stderr, "podtool: warning: %s: header says %d items, %d read\n", label, stored,
                     pod->count);
    for (int i = 0; i < pod->count; i++) {
        int type = pod->types[i];
        void *item = pod->items[i];
        if (type == CPOD_FILE) {
            auto *file = static_cast<vull_file *>(item);
            std::printf("%s%d %s %s %d\n", indent.c_str(), i, chunk_name(type),
                        file->name[0] ? file->name : "-", file->length);
            if (looks_like_pod(file)) {
                if (depth + 1 >= MAX_NESTING) {
                    std::fprintf(stderr, "podtool: %s: pods nested too deep\n", label);
                    ok = false;
                } else if (!list_pod(file->data, file->length, depth + 1, file->name)) {
                    ok = false;
                }
            }
        } else {
            std::printf("%s%d %s - %d\n", indent.c_str(), i, chunk_name(type),
                        body_size(type, item));
        }
    }
    vull_destroy_pod(pod);
    return ok;
}

cbuffer *load_whole(const char *path) {
    cbuffer *buf = vull_load_file(path, VULL_READ_MAX);
    if (!buf) std::fprintf(stderr, "podtool: cannot read %s\n", path);
    return buf;
}

int cmd_list(const char *path) {
    cbuffer *buf = load_whole(path);
    if (!buf) return 1;
    bool ok = list_pod(buf->data, buf->length, 0, path);
    vull_destroy_buffer(buf);
    return ok ? 0 : 1;
}

bool write_raw(const char *path, const uint8_t *data, int length) {
    FILE *out = vull_file_read_only(path) ? nullptr : std::fopen(path, "wb");
    if (!out) return false;
    bool ok = length == 0 || std::fwrite(data, 1, (size_t)length, out) == (size_t)length;
    return (std::fclose(out) == 0) && ok;
}

int cmd_extract(const char *path, const char *index_text, const char *out_path) {
    char *end = nullptr;
    long index = std::strtol(index_text, &end, 10);
    if (!*index_text || *end || index < 0) {
        std::fprintf(stderr, "podtool: bad index %s\n", index_text);
        return 1;
    }
    cbuffer *buf = load_whole(path);
    if (!buf) return 1;
    vull_file *f = vull_fopen_memory(buf->data, buf->length);
    cpod *pod = f ? vull_load_pod_file(path, f) : nullptr;
    vull_fclose(f);
    int result = 1;
    if (!pod) {
        std::fprintf(stderr, "podtool: %s: not a readable pod\n", path);
    } else if (index >= pod->count) {
        std::fprintf(stderr, "podtool: %s has no item %ld (%d items)\n", path, index, pod->count);
    } else if (pod->types[index] == CPOD_FILE) {
        // File items come out as their bytes; any other item as a pod holding just it.
        auto *file = static_cast<vull_file *>(pod->items[index]);
        if (write_raw(out_path, file->data, file->length))
            result = 0;
        else
            std::fprintf(stderr, "podtool: cannot write %s\n", out_path);
    } else {
        cpod *one = vull_create_pod(1);
        if (one && cpod_add_item(one, pod->types[index], pod->items[index]) == 0) {
            cpod_delete_item_soft(pod, (int)index);
            if (vull_save_pod(out_path, one) == 0)
                result = 0;
            else
                std::fprintf(stderr, "podtool: cannot write %s\n", out_path);
        }
        vull_destroy_pod(one);
    }
    vull_destroy_pod(pod);
    vull_destroy_buffer(buf);
    return result;
}

int cmd_create(const char *out_path, int argc, char **argv) {
    bool lz4 = false;
    const char *name = "";
    std::vector<const char *> files;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "--lz4") == 0) {
            lz4 = true;
        } else if (std::strcmp(argv[i], "--name") == 0) {
            if (i + 1 >= argc) {
                usage();
                return 2;
            }
            name = argv[++i];
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "podtool: no input files (a pod without items cannot be read back)\n");
        return 2;
    }
    if (std::strlen(name) >= CPOD_NAME_LEN) {
        std::fprintf(stderr, "podtool: pod name \"%s\" is longer than %d characters\n", name,
                     CPOD_NAME_LEN - 1);
        return 1;
    }
    cpod *pod = vull_create_pod(0);
    if (!pod) return 1;
    std::snprintf(pod->name, sizeof pod->name, "%s", name);
    int result = 0;
    for (const char *path : files) {
        const char *base = vull_get_filename_without_path(path);
        if (std::strlen(base) >= POD_FILE_NAME_LEN) {
            std::fprintf(stderr, "podtool: file name %s is longer than %d characters\n", base,
                         POD_FILE_NAME_LEN - 1);
            result = 1;
            break;
        }
        cbuffer *buf = load_whole(path);
        if (!buf) {
            result = 1;
            break;
        }
        buf->position = 0;
        std::memset(buf->name, 0, sizeof buf->name);
        std::memcpy(buf->name, base, std::strlen(base));
        if (cpod_add_item(pod, CPOD_FILE, buf) < 0) {
            vull_destroy_buffer(buf);
            result = 1;
            break;
        }
    }
    if (result == 0) {
        cconfig.pod_compression = lz4 ? 1 : 0;
        if (vull_save_pod(out_path, pod) != 0) {
            std::fprintf(stderr, "podtool: cannot write %s\n", out_path);
            result = 1;
        }
    }
    vull_destroy_pod(pod);
    return result;
}

int run(int argc, char **argv) {
    if (argc >= 3 && std::strcmp(argv[1], "list") == 0 && argc == 3) return cmd_list(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], "extract") == 0)
        return cmd_extract(argv[2], argv[3], argv[4]);
    if (argc >= 4 && std::strcmp(argv[1], "create") == 0)
        return cmd_create(argv[2], argc - 3, argv + 3);
    usage();
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    vull_sound_attach(); // sound and synth items are the audio engine's records
    int status = run(argc, argv);
    // A listing redirected to a full disk is lost: not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "podtool: could not write the standard output\n");
        return 1;
    }
    return status;
}
