// POD files: writing one pod, pod sets and LZ4 block streams.
//
// Every write is checked: a pod that could not be written whole reports 1, and
// vull_save_pod writes beside the target and renames only a complete file, so
// a failed save never destroys the pod that was there before.
#include "engine/pod.h"
#include "engine/anim.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/hooks.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/sound_item.h"
#include "engine/voxel.h"
#include "engine/vull.h"

#include <lz4.h>
#include <lz4hc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A writer that remembers whether any write came up short.
struct pod_writer {
    vull_file *f; // destination
    bool failed;  // a write was refused or cut short

    void bytes(const void *data, int64_t n) {
        if (n <= 0) return;
        if (n > VULL_ALLOC_CAP || vull_fwrite(data, 1, (int)n, f) != (int)n) failed = true;
    }
    void i32(int32_t v) {
        if (vull_fwrite_int32(v, f) < 1) failed = true;
    }
    void u16(uint16_t v) {
        if (vull_fwrite_uint16(v, f) < 1) failed = true;
    }
    void f32(float v) {
        if (vull_fwrite_float(v, f) < 1) failed = true;
    }
    void id(const char (&s)[5], bool compressed) {
        uint32_t v = pod_chunk_id(s) | (compressed ? POD_COMPRESSED : 0);
        if (vull_fwrite_uint32(v, f) < 1) failed = true;
    }
    void zeros(int n) {
        for (int i = 0; i < n; i += 4) i32(0);
    }
    void lz4(const void *data, int n) {
        if (vull_fwrite_lz4(data, n, f) < 0) failed = true;
    }
};

} // namespace

/*
** LZ4 block streams
*/

int vull_fwrite_lz4(const void *data, int n, vull_file *f) {
    if (!f || n < 0 || (!data && n > 0)) return -1;
    if (n == 0) return vull_fwrite_int32(0, f) >= 1 ? 0 : -1;
    int bound = LZ4_compressBound(n);
    if (bound <= 0) return -1;
    auto *scratch = static_cast<char *>(vull_malloc_(bound));
    if (!scratch) return -1;
    // The compressor's state (a quarter megabyte) is kept per thread: a fresh
    // one per block costs more in page faults than small blocks take to compress.
    thread_local std::vector<char> state(static_cast<size_t>(LZ4_sizeofStateHC()));
    int len = LZ4_compress_HC_extStateHC(state.data(), static_cast<const char *>(data), scratch, n,
                                         bound, 9);
    int result = -1;
    // Memory files count bytes and streams items: any non-zero count means the word went out.
    if (len > 0 && vull_fwrite_int32(len, f) >= 1 && vull_fwrite(scratch, 1, len, f) == len)
        result = len;
    vull_free(scratch);
    return result;
}

/*
** Chunks
*/

static bool compression_on() { return cconfig.pod_compression != 0; }

// A bitmap's pixels row by row (rows need not be contiguous).
static std::vector<uint8_t> bitmap_pixels(const vull_bitmap *bmp) {
    size_t stride = (size_t)bmp->width * (size_t)(bmp->bpp / 8);
    std::vector<uint8_t> out(stride * (size_t)bmp->height);
    for (int y = 0; y < bmp->height; y++)
        std::memcpy(out.data() + stride * (size_t)y, bmp->rows[y], stride);
    return out;
}

// Bitmaps and voxel maps share one chunk shape: three sizes, the tag word, a reserved
// 0, then the block (its uncompressed size is in the size field either way).
static void write_raster(pod_writer &w, const char (&id)[5], const int32_t (&sizes)[3], int32_t tag,
                         const void *block, int64_t n) {
    bool packed = compression_on();
    w.id(id, packed);
    w.i32((int32_t)(20 + n));
    for (int32_t v : sizes) w.i32(v);
    w.i32(tag);
    w.i32(0);
    if (packed)
        w.lz4(block, (int)n);
    else
        w.bytes(block, n);
}

static void write_bitmap(pod_writer &w, const vull_bitmap *bmp) {
    // Only the depths the reader accepts are stored; anything else would not read back.
    if (!bmp->rows || (bmp->bpp != 8 && bmp->bpp != 32)) {
        w.failed = true;
        return;
    }
    std::vector<uint8_t> pixels = bitmap_pixels(bmp);
    write_raster(w, "CBMP", {bmp->width, bmp->height, bmp->bpp}, bmp->tag, pixels.data(),
                 (int64_t)pixels.size());
}

static void write_voxmap(pod_writer &w, const vull_voxmap *map) {
    int64_t n = (int64_t)map->width * map->height * map->depth;
    write_raster(w, "CVMP", {map->width, map->height, map->depth}, map->tag, map->voxels, n);
}

// Whether the reader will take the model back: bones within the polygon list, each
// with its two joints, and every vertex index naming a vertex (a deleted vertex leaves -1).
static bool model_storable(const cmodel *m) {
    if (m->num_vertices < 0 || m->num_polygons < 0 || m->num_bones < 0 ||
        m->num_bones > m->num_polygons || m->num_bones > CMODEL_MAX_BONES)
        return false;
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly *p = &m->polygons[i];
        if (p->count < 0 || (i < m->num_bones && p->count < 2)) return false;
        for (int k = 0; k < p->count; k++)
            if (p->index[k] < 0 || p->index[k] >= m->num_vertices) return false;
    }
    return true;
}

static void write_model(pod_writer &w, const cmodel *m) {
    if (!model_storable(m)) {
        w.failed = true;
        return;
    }
    w.id("CMOD", false);
    w.i32(0);
    w.i32(m->num_vertices);
    w.i32(m->num_polygons);
    w.i32(m->num_bones);
    w.bytes(m->vertices, (int64_t)m->num_vertices * 12);
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly *p = &m->polygons[i];
        w.u16((uint16_t)p->count);
        w.u16(p->attr[0]);
        w.u16(p->attr[1]);
        for (int k = 0; k < p->count; k++) {
            w.i32(p->index[k]);
            w.f32(p->uv[2 * k]);
            w.f32(p->uv[2 * k + 1]);
        }
    }
    if ((m->bone_vertices != nullptr) != (m->num_bones > 0))
        vull_debug("\nAssertion failed: Error: bad bone_vertex syncronisation!\n\n");
    // The block is written exactly when the reader expects it (bones and vertices present),
    // defaults standing in for missing records, so the chunk always reads back in step.
    if (m->num_bones > 0 && m->num_vertices >= 1) {
        for (int v = 0; v < m->num_vertices; v++) {
            bool have = m->bone_vertices && v < m->bone_vertex_slots;
            w.u16(have ? m->bone_vertices[v].bone_a : 0);
            w.u16(have ? m->bone_vertices[v].bone_b : 0);
            w.f32(have ? m->bone_vertices[v].weight : 1.0f);
        }
    }
}

// A channel's state size is not stored: it follows from the channel's place (size).
static void write_channel(pod_writer &w, const canim_channel *ch, int size) {
    int n = ch && ch->num_states > 0 ? ch->num_states : 0;
    if (n > 0 && ch->state_size != size) {
        w.failed = true;
        return;
    }
    w.i32(n);
    if (n == 0) return;
    w.bytes(ch->states, (int64_t)n * ch->state_size);
    w.bytes(ch->times, (int64_t)n * 4);
    w.bytes(ch->modes, (int64_t)n * 4);
}

static void write_anim(pod_writer &w, const vull_anim *anim) {
    w.id("CANI", false);
    w.i32(0);
    w.i32(anim->num_actors);
    w.i32(anim->header[0]);
    w.i32(anim->header[1]);
    w.zeros(20);
    for (int i = 0; i < anim->num_actors; i++) {
        const cactor *a = &anim->actors[i];
        w.bytes(a->name, CANIM_NAME_LEN);
        w.bytes(a->name2, CANIM_NAME_LEN);
        for (int k = 1; k < 4; k++) w.i32(a->word[k]);
        int extra = a->extra ? a->num_extra : 0;
        w.i32(a->word_a);
        w.i32(extra);
        w.i32(a->word_b);
        w.zeros(12);
        for (auto *ch : a->vec) write_channel(w, ch, CANIM_VECTOR_STATE);
        for (int j = 0; j < extra; j++) write_channel(w, a->extra[j], CANIM_EXTRA_STATE);
        write_channel(w, a->events, CANIM_EVENT_STATE);
    }
}

static void write_sound(pod_writer &w, csound *snd) {
    if (!cpod_audio.sound_lock) {
        vull_missing_attach("a pod's sound items", "vull_sound_attach()");
        w.failed = true;
        return;
    }
    int64_t bytes =
        snd->bits > 0 ? (int64_t)snd->sample_count * (snd->bits / 8) : 0;
    w.id("CSND", false);
    w.i32((int32_t)(24 + bytes));
    w.i32(snd->sample_count);
    w.i32(snd->bits);
    w.i32(snd->frequency);
    w.i32(snd->channels);
    w.i32(0);
    w.i32(0);
    w.bytes(cpod_audio.sound_lock(snd), bytes);
    cpod_audio.sound_release(snd);
}

static void write_synth(pod_writer &w, const vull_synth *s) {
    w.id("CSYN", false);
    w.i32(0);
    w.i32(s->length);
    w.i32(s->seed);
    w.i32(1);
    w.i32(0);
    // Every slot is written, so nodes beyond the sixteenth survive a save.
    w.i32(VULL_SYNTH_NODES);
    for (const auto &n : s->node) {
        for (int32_t word : n.word) w.i32(word);
        w.i32(n.closing_word);
        int wave = n.wave_length < 0
                       ? 0
                       : (n.wave_length > VULL_SYNTH_WAVE ? VULL_SYNTH_WAVE : n.wave_length);
        w.i32(wave);
        w.bytes(n.wave, wave);
        w.i32(VULL_SYNTH_FILE_PARAMS);
        for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) {
            const vull_synth_param &p = n.param[k];
            w.i32(p.value);
            w.i32(p.source);
            w.i32(p.mod_kind);
        }
    }
}

int vull_serialise_synth(vull_synth *synth, vull_file *f) {
    if (!synth || !f) return 1;
    pod_writer w{f, false};
    write_synth(w, synth);
    return w.failed ? 1 : 0;
}

static void write_file_item(pod_writer &w, const vull_file *item) {
    // Only a file whose bytes are in memory can be stored; dropping one would lose it unnoticed.
    if (item->kind != VULL_FILE_MEMORY || (!item->data && item->length > 0)) {
        w.failed = true;
        return;
    }
    bool packed = compression_on();
    int32_t length = item->length < 0 ? 0 : item->length;
    w.id("CFIL", packed);
    w.i32(0);
    w.i32(length);
    char name[POD_FILE_NAME_LEN] = {};
    std::memcpy(name, item->name, sizeof name - 1);
    w.bytes(name, sizeof name);
    if (packed)
        w.lz4(item->data, length);
    else
        w.bytes(item->data, length);
}

// Whether a slot's item becomes a chunk: memory blocks and nested containers never do,
// application items only through the save hook.
static bool writes_chunk(const cpod *pod, int slot) {
    int type = pod->types[slot];
    if (type >= CPOD_APP) return vull_save_item_func != nullptr;
    return type >= CPOD_BITMAP && type <= CPOD_FILE && pod->items[slot];
}

// Palettes and materials: a fixed-size record byte for byte, its size in the size field.
static void write_record(pod_writer &w, const char (&id)[5], const void *record, int size) {
    w.id(id, false);
    w.i32(size);
    w.bytes(record, size);
}

static void write_item(pod_writer &w, cpod *pod, int slot) {
    void *item = pod->items[slot];
    switch (pod->types[slot]) {
    case CPOD_BITMAP: write_bitmap(w, static_cast<vull_bitmap *>(item)); break;
    case CPOD_VOXMAP: write_voxmap(w, static_cast<vull_voxmap *>(item)); break;
    case CPOD_PALETTE:
        write_record(w, "CPAL", static_cast<vull_palette_rec *>(item)->entry, 768);
        break;
    case CPOD_MODEL: write_model(w, static_cast<cmodel *>(item)); break;
    case CPOD_MATERIAL:
        write_record(w, "CMAT", static_cast<vull_material *>(item)->bytes, 96);
        break;
    case CPOD_ANIM: write_anim(w, static_cast<vull_anim *>(item)); break;
    case CPOD_SOUND: write_sound(w, static_cast<csound *>(item)); break;
    case CPOD_SYNTH: write_synth(w, static_cast<vull_synth *>(item)); break;
    case CPOD_FILE: write_file_item(w, static_cast<vull_file *>(item)); break;
    default:
        if (vull_save_item_func && vull_save_item_func(w.f, pod, slot) != 0) w.failed = true;
        break;
    }
}

int vull_save_pod_file(const char *, cpod *pod, vull_file *f) {
    if (!f) return 1;
    pod_writer w{f, false};
    if (!pod) {
        w.id("CNOP", false);
        w.i32(0);
    } else {
        // Used slots in slot order; the header counts the chunks that follow.
        vull_read_lazy_items(pod);
        std::vector<int> slots;
        for (int s = 0; s < pod->capacity; s++)
            if (pod->position[s] < pod->count && writes_chunk(pod, s)) slots.push_back(s);
        char name[CPOD_NAME_LEN] = {};
        std::memcpy(name, pod->name, sizeof name - 1);
        w.id("CPOD", false);
        w.i32(POD_HEADER_SIZE - 8);
        w.i32(1);
        w.bytes(name, sizeof name);
        w.i32((int32_t)slots.size());
        w.zeros(28);
        for (int s : slots) write_item(w, pod, s);
    }
    if (f->kind == VULL_FILE_STREAM && f->stream &&
        (std::fflush(f->stream) != 0 || std::ferror(f->stream)))
        w.failed = true;
    return w.failed ? 1 : 0;
}

// Built in memory and handed whole to the one writer, so a failed save leaves the old file.
template <typename Fn> static int save_built(const char *path, Fn write) {
    cbuffer *out = path ? vull_create_buffer(4096) : nullptr;
    int result = !out || write(out) != 0 || vull_save_file(path, out->data, out->length) != 0;
    vull_destroy_buffer(out);
    return result;
}

int vull_save_pod(const char *path, cpod *pod) {
    int result = save_built(path, [&](vull_file *f) { return vull_save_pod_file(path, pod, f); });
    vull_debugf("vull_save_pod: %s %d \n", path ? path : "", result);
    return result;
}

int vull_save_pod_set(const char *path, cpod **set) {
    if (!set) return 1;
    return save_built(path, [&](vull_file *f) {
        int result = 0;
        for (int i = 0; i < CPOD_SET_SIZE; i++)
            if (vull_save_pod_file(path, set[i], f) != 0) result = 1;
        return result;
    });
}
