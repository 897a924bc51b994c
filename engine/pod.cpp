// POD files: reading one pod, pod sets and the LZ4 block reader.
//
// Every size and count in a chunk is checked before anything is allocated: it
// must be in range, pass vull_checked_size, and the bytes it implies must still
// be in the input. So a hostile file can neither make the reader allocate much
// more than its own size nor loop: every chunk consumes input.
//
// Damage loses as little as it can: the items read before it are kept, the damaged
// item is dropped, and a chunk whose size field the writer fills in is passed over
// by it. Where no field tells where a chunk ends, the pod ends there, and the reader
// moves on to the next pod header so that the rest of a pod set still loads.
#include "engine/pod.h"
#include "engine/anim.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/hooks.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/sound_item.h"
#include "engine/voxel.h"
#include "engine/vull.h"

#include <lz4.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t ID_CPOD = pod_chunk_id("CPOD"), ID_CNOP = pod_chunk_id("CNOP");
constexpr uint32_t ID_CBMP = pod_chunk_id("CBMP"), ID_CVMP = pod_chunk_id("CVMP");
constexpr uint32_t ID_CPAL = pod_chunk_id("CPAL"), ID_CMOD = pod_chunk_id("CMOD");
constexpr uint32_t ID_CMAT = pod_chunk_id("CMAT"), ID_CANI = pod_chunk_id("CANI");
constexpr uint32_t ID_CSND = pod_chunk_id("CSND"), ID_CSYN = pod_chunk_id("CSYN");
constexpr uint32_t ID_CFIL = pod_chunk_id("CFIL");
constexpr int64_t UNKNOWN_LEFT = INT64_MAX; // a stream that cannot tell its size

// LZ4 cannot expand a block by much more than 255 times; a claim beyond this is a lie.
constexpr int64_t LZ4_MAX_RATIO = 256;

} // namespace

/*
** Input bookkeeping
*/

// The end of the stream being read, found once per stream: seeking to the end for
// every check would throw the stream's buffer away each time.
static FILE *sized_stream = nullptr;
static int64_t sized_end = UNKNOWN_LEFT;

static void measure_stream(vull_file *f) {
    sized_stream = nullptr;
    if (f->kind != VULL_FILE_STREAM || !f->stream) return;
    sized_stream = f->stream;
    sized_end = UNKNOWN_LEFT;
    long here = std::ftell(f->stream);
    if (here < 0 || std::fseek(f->stream, 0, SEEK_END) != 0) return;
    long end = std::ftell(f->stream);
    if (std::fseek(f->stream, here, SEEK_SET) == 0 && end >= 0) sized_end = end;
}

// Where the input ends for the pod being read, when that is before the end of the
// file: a pod stored in a file item of another pod ends with the item.
static int64_t read_limit = UNKNOWN_LEFT;

// Bytes between the position and the end of the input.
static int64_t bytes_left(vull_file *f) {
    int64_t here, end;
    if (f->kind == VULL_FILE_MEMORY) {
        if (f->position < 0 || f->position >= f->length) return 0;
        here = f->position;
        end = f->length;
    } else {
        if (f->kind != VULL_FILE_STREAM || !f->stream) return 0;
        if (f->stream != sized_stream) measure_stream(f);
        here = std::ftell(f->stream);
        if (here < 0) return UNKNOWN_LEFT;
        end = sized_end;
    }
    if (read_limit < end) end = read_limit;
    if (end == UNKNOWN_LEFT) return UNKNOWN_LEFT;
    return end < here ? 0 : end - here;
}

// Whether n more bytes (a size taken from the file) are still in the input.
static bool need(vull_file *f, int64_t n) {
    int bytes;
    return vull_checked_size(n, 1, 0, &bytes) && bytes <= bytes_left(f);
}

static bool at_end(vull_file *f) {
    if (f->kind == VULL_FILE_MEMORY) return f->position >= f->length || f->position >= read_limit;
    if (f->kind != VULL_FILE_STREAM || !f->stream) return true;
    return std::feof(f->stream) || bytes_left(f) == 0;
}

static bool read_block(vull_file *f, void *dest, int64_t n) {
    if (n == 0) return true;
    if (n < 0 || n > VULL_ALLOC_CAP) return false;
    return vull_fread(dest, 1, (int)n, f) == (int)n;
}

static bool skip(vull_file *f, int64_t n) {
    if (!need(f, n)) return false;
    return n == 0 || vull_fseek(f, (int)n, SEEK_CUR) == 0;
}

// The read position (streams and memory files, the only kinds the reader reads).
static int64_t position(vull_file *f) {
    if (f->kind == VULL_FILE_MEMORY) return f->position;
    return f->stream ? std::ftell(f->stream) : -1;
}

// Moves to an absolute position: back anywhere already read, forward only within the input.
static bool seek_to(vull_file *f, int64_t target) {
    int64_t here = position(f);
    if (here < 0 || target < 0) return false;
    if (target >= here) return skip(f, target - here);
    return here - target <= INT32_MAX && vull_fseek(f, (int)(target - here), SEEK_CUR) == 0;
}

// Moves to an absolute position in either direction.
static bool seek_abs(vull_file *f, int64_t target) {
    int64_t here = position(f);
    if (here < 0 || target < 0 || target - here > INT32_MAX || here - target > INT32_MAX)
        return false;
    return vull_fseek(f, (int)(target - here), SEEK_CUR) == 0;
}

/*
** LZ4 block streams
*/

// Reads the compressed length and checks that it fits the input and can yield expected bytes.
static bool lz4_length(vull_file *f, int expected, int32_t *n) {
    if (!need(f, 4)) return false;
    *n = vull_fread_int32(f);
    if (*n < 0 || !need(f, *n)) return false;
    return expected >= 0 && (int64_t)expected <= (int64_t)*n * LZ4_MAX_RATIO + 64;
}

// Decompresses n compressed bytes into dest, which must come out exactly expected bytes.
static bool lz4_body(vull_file *f, int32_t n, void *dest, int expected) {
    if (n == 0) return expected == 0;
    auto *scratch = static_cast<char *>(vull_malloc_(n));
    if (!scratch) return false;
    bool ok = read_block(f, scratch, n) &&
              LZ4_decompress_safe(scratch, static_cast<char *>(dest), n, expected) == expected;
    vull_free(scratch);
    return ok;
}

int vull_fread_lz4(void *dest, int n, vull_file *f) {
    int32_t clen;
    if (!f || n < 0 || (!dest && n > 0)) return -1;
    measure_stream(f);
    if (!lz4_length(f, n, &clen)) return -1;
    return lz4_body(f, clen, dest, n) ? 0 : -1;
}

/*
** Chunk readers: each returns false for a damaged chunk. An item is added to the
** container as soon as it exists, so dropping a damaged chunk's items releases it.
*/

template <typename T> static bool add(cpod *pod, int type, T *item, void (*destroy)(T *)) {
    if (!item) return false;
    if (cpod_add_item(pod, type, item) < 0) {
        destroy(item);
        return false;
    }
    return true;
}

/*
** Items read when first asked for. A pod opened with vull_open_pod reads its small
** items at once; a large bitmap or file item is checked up to its block, which is
** passed over, and its slot (item type CPOD_LAZY) remembers where the chunk lies.
** cpod_get_item reads it the first time it is asked for, and a chunk found damaged
** then empties its slot.
*/

// The file such a pod reads from, shared with the pods opened from its file items
// and closed with the last of them.
struct pod_source {
    vull_file *f;
    int32_t refs;
};

// What a CPOD_LAZY slot holds.
struct pod_lazy_item {
    int64_t offset; // the chunk's identifier
    int64_t end;    // the end of the input the chunk lies in
    uint32_t id;    // the chunk's identifier as first read
};

// Items of fewer bytes cost less to read at once than to read later.
constexpr int64_t LAZY_ITEM_MIN = 4096;

static pod_source *indexing = nullptr; // the source of a pod being opened item by item
static int64_t chunk_start = -1;       // where the chunk being read starts

static int lazy_type(uint32_t id) {
    return (id & ~POD_COMPRESSED) == ID_CBMP ? CPOD_BITMAP : CPOD_FILE;
}

// Whether a checked item of `bytes` bytes is left to be read when first asked for; then
// its block of `block` bytes (known to be in the input) is passed over and *ok tells
// whether that went well.
static bool deferred(vull_file *f, cpod *pod, uint32_t id, int64_t bytes, int64_t block,
                     bool *ok) {
    if (!indexing || bytes < LAZY_ITEM_MIN) return false;
    auto *rec = static_cast<pod_lazy_item *>(vull_malloc_((int)sizeof(pod_lazy_item)));
    *ok = rec != nullptr;
    if (!rec) return true;
    *rec = pod_lazy_item{chunk_start, read_limit, id};
    if (cpod_add_item(pod, CPOD_LAZY, rec) < 0) {
        vull_free(rec);
        *ok = false;
        return true;
    }
    *ok = skip(f, block);
    return true;
}

// The raw or LZ4-compressed block of a bitmap or voxel map; the length check comes first
// so that nothing is allocated for a block the input cannot hold.
static bool check_block(vull_file *f, bool compressed, int bytes, int32_t *clen) {
    return compressed ? lz4_length(f, bytes, clen) : need(f, bytes);
}

// Bitmaps and voxel maps share one chunk shape: three sizes (a bitmap's third is its
// depth in bits, a voxel map's its z extent), the tag word, a reserved word, then the
// block of pixel or voxel bytes.
static bool read_raster(vull_file *f, cpod *pod, bool compressed, bool voxels) {
    if (!need(f, 20)) return false;
    int32_t w = vull_fread_int32(f), h = vull_fread_int32(f), third = vull_fread_int32(f);
    int32_t tag = vull_fread_int32(f);
    (void)vull_fread_int32(f);
    if (w < 1 || h < 1 || (voxels ? third < 1 : third != 8 && third != 32)) return false;
    int area, bytes;
    int32_t clen = 0;
    if (!vull_checked_size(w, h, 0, &area) ||
        !vull_checked_size(area, voxels ? third : third / 8, 0, &bytes))
        return false;
    if (!check_block(f, compressed, bytes, &clen)) return false;
    bool ok;
    if (!voxels && deferred(f, pod, compressed ? ID_CBMP | POD_COMPRESSED : ID_CBMP, bytes,
                            compressed ? clen : bytes, &ok))
        return ok;
    uint8_t *block;
    if (voxels) {
        vull_voxmap *map = vull_create_voxmap(w, h, third);
        auto destroy = [](vull_voxmap *m) { vull_destroy_voxmap(m); };
        if (!add<vull_voxmap>(pod, CPOD_VOXMAP, map, destroy)) return false;
        map->tag = tag;
        block = map->voxels;
    } else {
        vull_bitmap *bmp = vull_create_bitmap(w, h, third);
        auto destroy = [](vull_bitmap *b) { vull_destroy_bitmap(b); };
        if (!add<vull_bitmap>(pod, CPOD_BITMAP, bmp, destroy)) return false;
        bmp->tag = tag;
        block = bmp->pixels;
    }
    return compressed ? lz4_body(f, clen, block, bytes) : read_block(f, block, bytes);
}

static bool read_palette(vull_file *f, cpod *pod) {
    if (!need(f, 768)) return false;
    vull_palette_rec *pal = vull_create_palette();
    auto destroy = [](vull_palette_rec *p) { vull_destroy_palette(p); };
    return add<vull_palette_rec>(pod, CPOD_PALETTE, pal, destroy) && read_block(f, pal->entry, 768);
}

static bool read_material(vull_file *f, cpod *pod) {
    if (!need(f, 96)) return false;
    vull_material *mat = vull_create_material();
    return add<vull_material>(pod, CPOD_MATERIAL, mat, vull_destroy_material) &&
           read_block(f, mat->bytes, 96);
}

static bool read_model_body(vull_file *f, cmodel *m, int32_t V, int32_t P, int32_t B) {
    int bytes;
    m->num_bones = B;
    cmodel_max_vertices(m, V);
    cmodel_max_polygons(m, P);
    if (m->max_vertices < V || m->max_polygons < P) return false;
    if (B > 0 && V > 0 && m->bone_vertex_slots < V) return false;
    m->num_vertices = V;
    if (!read_block(f, m->vertices, (int64_t)V * 12)) return false;
    m->num_polygons = P;
    for (int i = 0; i < P; i++) {
        if (!need(f, 6)) return false;
        int n = vull_fread_int16(f);
        // Bones are the segments between a polygon's first two vertices.
        if (n < 0 || n > CPOLY_MAX_VERTICES || (i < B && n < 2)) return false;
        cpoly *p = &m->polygons[i];
        cpoly_set_num_vertices(p, n);
        if (p->count != n) return false;
        p->attr[0] = vull_fread_uint16(f);
        p->attr[1] = vull_fread_uint16(f);
        if (!vull_checked_size(n, 12, 0, &bytes) || !need(f, bytes)) return false;
        for (int k = 0; k < n; k++) {
            int32_t v = vull_fread_int32(f);
            if (v < 0 || v >= V) return false;
            p->index[k] = v;
            p->uv[2 * k] = vull_fread_float(f);
            p->uv[2 * k + 1] = vull_fread_float(f);
        }
    }
    if (B > 0 && V >= 1) {
        if (!vull_checked_size(V, 8, 0, &bytes) || !need(f, bytes)) return false;
        for (int v = 0; v < V; v++) {
            cmodel_bone_vertex *bv = &m->bone_vertices[v];
            uint16_t a = vull_fread_uint16(f), b = vull_fread_uint16(f);
            bv->bone_a = a < B ? a : (uint16_t)(B - 1);
            bv->bone_b = b < B ? b : (uint16_t)(B - 1);
            bv->weight = vull_fread_float(f);
        }
    }
    cmodel_decorate(m);
    return true;
}

static bool read_model(vull_file *f, cpod *pod) {
    if (!need(f, 12)) return false;
    int32_t V = vull_fread_int32(f), P = vull_fread_int32(f), B = vull_fread_int32(f);
    int bytes;
    if (V < 0 || P < 0 || B < 0 || B > P || B > CMODEL_MAX_BONES) return false;
    if (!vull_checked_size(V, 12, 0, &bytes) || !need(f, bytes)) return false;
    if (!vull_checked_size(P, 6, 0, &bytes) || !need(f, bytes)) return false;
    cmodel *m = vull_create_model();
    if (!m) return false;
    if (!read_model_body(f, m, V, P, B)) {
        vull_destroy_model(m);
        return false;
    }
    return add<cmodel>(pod, CPOD_MODEL, m, vull_destroy_model);
}

static bool read_anim_channel(vull_file *f, canim_channel *ch) {
    int bytes;
    if (!ch || !need(f, 4)) return false;
    int32_t n = vull_fread_int32(f);
    if (n < 0 || !vull_checked_size(n, (int64_t)ch->state_size + 8, 0, &bytes) || !need(f, bytes))
        return false;
    if (canim_channel_set_num_states(ch, n) != 0) return false;
    return read_block(f, ch->states, (int64_t)n * ch->state_size) &&
           read_block(f, ch->times, (int64_t)n * 4) && read_block(f, ch->modes, (int64_t)n * 4);
}

constexpr int ACTOR_FIXED_BYTES = 2 * CANIM_NAME_LEN + 9 * 4; // names and nine words

static bool read_actor(vull_file *f, cactor *a) {
    if (!need(f, ACTOR_FIXED_BYTES)) return false;
    read_block(f, a->name, CANIM_NAME_LEN);
    read_block(f, a->name2, CANIM_NAME_LEN);
    a->name[CANIM_NAME_LEN - 1] = a->name2[CANIM_NAME_LEN - 1] = 0;
    for (int k = 1; k < 4; k++) a->word[k] = vull_fread_int32(f);
    a->word_a = vull_fread_int32(f);
    int32_t extra = vull_fread_int32(f);
    a->word_b = vull_fread_int32(f);
    for (int k = 0; k < 3; k++) (void)vull_fread_int32(f);
    int bytes;
    // Each channel takes at least its count word.
    if (extra < 0 || !vull_checked_size(extra, 4, 0, &bytes) || !need(f, bytes)) return false;
    for (auto *ch : a->vec)
        if (!read_anim_channel(f, ch)) return false;
    if (extra > 0) {
        if (!vull_checked_size(extra, (int64_t)sizeof(canim_channel *), 0, &bytes)) return false;
        a->extra = static_cast<canim_channel **>(vull_calloc(bytes));
        if (!a->extra) return false;
        a->num_extra = extra;
        for (int j = 0; j < extra; j++) {
            a->extra[j] = vull_create_anim_channel(CANIM_EXTRA_STATE);
            if (!read_anim_channel(f, a->extra[j])) return false;
        }
    }
    return read_anim_channel(f, a->events);
}

static bool read_anim(vull_file *f, cpod *pod) {
    if (!need(f, 32)) return false;
    int32_t actors = vull_fread_int32(f);
    int32_t h0 = vull_fread_int32(f), h1 = vull_fread_int32(f);
    for (int k = 0; k < 5; k++) (void)vull_fread_int32(f);
    int bytes;
    if (actors < 0 || !vull_checked_size(actors, ACTOR_FIXED_BYTES, 0, &bytes) || !need(f, bytes))
        return false;
    vull_anim *anim = vull_create_anim();
    if (!add<vull_anim>(pod, CPOD_ANIM, anim, vull_destroy_anim)) return false;
    anim->header[0] = h0;
    anim->header[1] = h1;
    // All actors at once: the count is bounded by the input, and growing the array one
    // actor at a time would copy it over and over.
    if (actors == 0) return true;
    int first = canim_new_actors(anim, actors);
    if (first < 0) return false;
    for (int i = 0; i < actors; i++)
        if (!read_actor(f, &anim->actors[first + i])) return false;
    return true;
}

// Sound and synth items are the audio engine's records: without it the pod
// fails whole and says so, rather than coming back without them. The chunk is
// still passed over as a damaged one, so that a set's next pod is found.
static bool audio_missing; // in the pod being read

static bool audio_attached() {
    if (cpod_audio.create_sound && cpod_audio.create_synth) return true;
    if (!audio_missing)
        vull_missing_attach("a pod's sound and synth items", "vull_sound_attach()");
    audio_missing = true;
    return false;
}

static bool read_sound(vull_file *f, cpod *pod, int32_t size) {
    if (!audio_attached()) return false;
    if (!need(f, 8)) return false;
    int32_t count = vull_fread_int32(f), bits = vull_fread_int32(f);
    int bytes = 0;
    bool plausible =
        count >= 0 && bits > 0 && bits % 8 == 0 && vull_checked_size(count, bits / 8, 0, &bytes);
    if (plausible && !need(f, 16 + (int64_t)bytes)) return false;
    csound *snd = plausible ? cpod_audio.create_sound(count, bits) : nullptr;
    // A sound that cannot be made is passed over by the chunk's size.
    if (!snd) return skip(f, (int64_t)size - 8);
    if (!add<csound>(pod, CPOD_SOUND, snd, cpod_audio.destroy_sound)) return false;
    snd->frequency = vull_fread_int32(f);
    snd->channels = vull_fread_int32(f);
    (void)vull_fread_int32(f);
    (void)vull_fread_int32(f);
    bool ok = read_block(f, cpod_audio.sound_lock(snd), bytes);
    cpod_audio.sound_release(snd);
    cpod_audio.set_frequency(snd, snd->frequency);
    return ok;
}

static bool read_synth(vull_file *f, cpod *pod) {
    if (!audio_attached()) return false;
    if (!need(f, 20)) return false;
    int32_t length = vull_fread_int32(f), seed = vull_fread_int32(f), version = vull_fread_int32(f);
    (void)vull_fread_int32(f);
    int32_t nodes = vull_fread_int32(f);
    if (nodes < 0 || nodes > VULL_SYNTH_NODES) return false;
    // every node's buffer holds length values of four bytes
    int32_t values = version == 0 ? length / 2 : length;
    if (!vull_checked_size(values, 4, 0, nullptr)) return false;
    vull_synth *s = cpod_audio.create_synth(0);
    if (!add<vull_synth>(pod, CPOD_SYNTH, s, cpod_audio.destroy_synth)) return false;
    s->length = values;
    s->seed = seed;
    for (int i = 0; i < nodes; i++) {
        vull_synth_node *n = &s->node[i];
        if (!need(f, 20)) return false;
        for (auto &w : n->word) w = vull_fread_int32(f);
        n->closing_word = vull_fread_int32(f);
        int32_t wave = vull_fread_int32(f);
        if (wave < 0 || wave > VULL_SYNTH_WAVE || !need(f, (int64_t)wave + 4)) return false;
        n->wave_length = wave;
        read_block(f, n->wave, wave);
        if (vull_fread_int32(f) != VULL_SYNTH_FILE_PARAMS || !need(f, VULL_SYNTH_FILE_PARAMS * 12))
            return false;
        // Files hold the first 8 slots; the rest only pull in sources, never stored.
        for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) {
            vull_synth_param &p = n->param[k];
            p.value = vull_fread_int32(f);
            p.source = vull_fread_int32(f);
            p.mod_kind = vull_fread_int32(f);
        }
    }
    return true;
}

// A raw file item ends after its data, so a refused one is passed over by its length.
static bool read_file_item(vull_file *f, cpod *pod, bool compressed, int64_t *chunk_end) {
    if (!need(f, 4 + POD_FILE_NAME_LEN)) return false;
    int32_t length = vull_fread_int32(f);
    char name[POD_FILE_NAME_LEN];
    read_block(f, name, POD_FILE_NAME_LEN);
    name[POD_FILE_NAME_LEN - 1] = 0;
    if (!compressed && length >= 0) *chunk_end = position(f) + length;
    int32_t clen = 0;
    if (length < 0 || !check_block(f, compressed, length, &clen)) return false;
    bool ok;
    if (deferred(f, pod, compressed ? ID_CFIL | POD_COMPRESSED : ID_CFIL, length,
                 compressed ? clen : length, &ok))
        return ok;
    cbuffer *buf = vull_create_buffer(length);
    if (!add<cbuffer>(pod, CPOD_FILE, buf, vull_destroy_buffer)) return false;
    static_assert(sizeof buf->name == POD_FILE_NAME_LEN, "a file item's name is the buffer's name");
    std::memcpy(buf->name, name, POD_FILE_NAME_LEN);
    ok = compressed ? lz4_body(f, clen, buf->data, length) : read_block(f, buf->data, length);
    buf->length = length;
    buf->position = 0;
    return ok;
}

/*
** One pod
*/

// A chunk the reader does not decode: the load hook's, or skipped by its size.
static bool read_unknown(vull_file *f, cpod *pod, uint32_t id, int32_t size) {
    if (vull_load_item_func && vull_load_item_func(f, pod, id) == 0) return true;
    vull_debug("vull_load_pod_file: Unknown Chunk!\n");
    // A negative size would seek back to this chunk for ever.
    return size >= 0 && skip(f, size);
}

// Reads one chunk after its identifier and size. When it is refused, *chunk_end says where
// it ends if the file tells (-1 otherwise): the size field, where the writer fills it in
// (uncompressed bitmaps and voxel maps, palettes, materials, sounds, unknown chunks), or a
// raw file item's length.
static bool read_chunk(vull_file *f, cpod *pod, uint32_t id, int32_t size, int64_t *chunk_end) {
    bool compressed = (id & POD_COMPRESSED) != 0;
    *chunk_end = -1;
    switch (id) {
    case ID_CMOD:
    case ID_CANI:
    case ID_CSYN:
    case ID_CFIL:
    case ID_CBMP | POD_COMPRESSED:
    case ID_CVMP | POD_COMPRESSED:
    case ID_CFIL | POD_COMPRESSED: break;
    default:
        if (size >= 0) *chunk_end = position(f) + size;
        break;
    }
    switch (id & ~POD_COMPRESSED) {
    case ID_CBMP: return read_raster(f, pod, compressed, false);
    case ID_CVMP: return read_raster(f, pod, compressed, true);
    case ID_CFIL: return read_file_item(f, pod, compressed, chunk_end);
    default: break;
    }
    switch (id) {
    case ID_CPAL: return read_palette(f, pod);
    case ID_CMOD: return read_model(f, pod);
    case ID_CMAT: return read_material(f, pod);
    case ID_CANI: return read_anim(f, pod);
    case ID_CSND: return read_sound(f, pod, size);
    case ID_CSYN: return read_synth(f, pod);
    default: return read_unknown(f, pod, id, size);
    }
}

// Whether 8 bytes are a chunk header that starts an entry of a pod set.
static bool is_entry_header(const uint8_t *p) {
    uint32_t id, size;
    std::memcpy(&id, p, 4);
    std::memcpy(&size, p + 4, 4);
    return (id == ID_CPOD && size == POD_HEADER_SIZE - 8) || (id == ID_CNOP && size == 0);
}

// After a pod that ended at damage, the next pod of a set starts at an unknown place:
// moves to the next "CPOD" or "CNOP" header (to the end when there is none), so the
// later entries load. Data that merely looks like a header can misplace them, but
// every read stays within the input.
static void find_next_entry(vull_file *f) {
    constexpr int BLOCK = 4096;
    uint8_t buf[BLOCK + 8];
    int kept = 0;
    for (;;) {
        int got = vull_fread(buf + kept, 1, BLOCK, f);
        if (got <= 0) return;
        int n = kept + got;
        for (int i = 0; i + 8 <= n; i++) {
            if (is_entry_header(buf + i)) {
                vull_fseek(f, i - n, SEEK_CUR);
                return;
            }
        }
        kept = n < 7 ? n : 7;
        std::memmove(buf, buf + n - kept, (size_t)kept);
    }
}

// Drops the items added since the container held 'count' (a damaged chunk's).
static void drop_items_since(cpod *pod, int count) {
    while (pod->count > count) cpod_delete_item(pod, pod->used[pod->count - 1]);
}

// Reads one pod at the position; the input is measured.
static cpod *read_pod(vull_file *f) {
    cpod *pod = vull_create_pod(0);
    if (!pod) return nullptr;
    audio_missing = false;
    for (bool first = true;; first = false) {
        if (at_end(f)) break;
        int64_t start = position(f);
        // A chunk header cut short is damage, not an end.
        bool whole = need(f, 8);
        uint32_t id = whole ? vull_fread_uint32(f) : 0;
        if (whole && id == 0) break;
        int32_t size = whole ? vull_fread_int32(f) : 0;
        if (first) {
            if (whole && id != ID_CPOD) {
                vull_destroy_pod(pod);
                return nullptr;
            }
            if (!whole || !need(f, POD_HEADER_SIZE - 8)) {
                vull_debug("vull_load_pod_file: bad chunk\n");
                vull_destroy_pod(pod);
                return nullptr;
            }
            (void)vull_fread_int32(f);
            read_block(f, pod->name, CPOD_NAME_LEN);
            pod->name[CPOD_NAME_LEN - 1] = 0;
            (void)vull_fread_int32(f);
            skip(f, 28);
            continue;
        }
        if (whole && (id == ID_CPOD || id == ID_CNOP)) {
            vull_fseek(f, -8, SEEK_CUR);
            break;
        }
        int before = pod->count;
        int64_t chunk_end = -1;
        chunk_start = start;
        if (whole && read_chunk(f, pod, id, size, &chunk_end)) continue;
        drop_items_since(pod, before);
        vull_debug("vull_load_pod_file: bad chunk\n");
        if (chunk_end >= 0 && seek_to(f, chunk_end)) continue;
        if (seek_to(f, start + 1)) find_next_entry(f);
        break;
    }
    if (pod->count == 0 || audio_missing) {
        vull_destroy_pod(pod);
        return nullptr;
    }
    return pod;
}

cpod *vull_load_pod_file(const char *, vull_file *f) {
    if (!f) return nullptr;
    measure_stream(f);
    return read_pod(f);
}

// The state the reader keeps between calls, set for one read and put back after it.
struct reader_scope {
    pod_source *indexing_was = indexing;
    int64_t limit_was = read_limit;
    reader_scope(pod_source *src, int64_t limit) {
        indexing = src;
        read_limit = limit;
    }
    ~reader_scope() {
        indexing = indexing_was;
        read_limit = limit_was;
    }
};

// Opens the pod at the source's position, ending at `end`, item by item.
static cpod *open_pod(pod_source *src, int64_t end) {
    reader_scope scope(src, end);
    measure_stream(src->f);
    cpod *pod = read_pod(src->f);
    if (pod) {
        pod->source = src;
        src->refs++;
    }
    return pod;
}

cpod *vull_open_pod_file(vull_file *f) {
    if (!f) return nullptr;
    auto *src = static_cast<pod_source *>(vull_calloc((int)sizeof(pod_source)));
    if (!src) {
        vull_fclose(f);
        return nullptr;
    }
    src->f = f;
    cpod *pod = open_pod(src, UNKNOWN_LEFT);
    if (!pod) {
        vull_fclose(f);
        vull_free(src);
    }
    return pod;
}

cpod *vull_open_pod(const char *path) {
    vull_file *f = path ? vull_fopen(path, "rb") : nullptr;
    cpod *pod = vull_open_pod_file(f);
    vull_debugf("vull_load_pod: %s %s \n", path ? path : "", pod ? "ok" : "failed");
    return pod;
}

void vull_release_pod_source(pod_source *src) {
    if (!src || --src->refs > 0) return;
    vull_fclose(src->f);
    vull_free(src);
}

int vull_lazy_item_type(const void *lazy) {
    return lazy ? lazy_type(static_cast<const pod_lazy_item *>(lazy)->id) : CPOD_EMPTY;
}

void *vull_read_lazy_item(cpod *pod, const void *lazy, int *type) {
    const auto *rec = static_cast<const pod_lazy_item *>(lazy);
    pod_source *src = pod ? pod->source : nullptr;
    if (!rec || !src) return nullptr;
    vull_file *f = src->f;
    reader_scope scope(nullptr, rec->end);
    measure_stream(f);
    cpod *one = vull_create_pod(1);
    void *item = nullptr;
    if (one && seek_abs(f, rec->offset) && need(f, 8)) {
        uint32_t id = vull_fread_uint32(f);
        int32_t size = vull_fread_int32(f);
        int64_t chunk_end;
        // The file may have changed since it was opened: the chunk must still be the one seen.
        if (id == rec->id && read_chunk(f, one, id, size, &chunk_end) && one->count == 1) {
            int slot = one->used[0];
            item = one->items[slot];
            *type = one->types[slot];
            cpod_delete_item_soft(one, slot);
        }
    }
    if (!item) vull_debug("vull_load_pod_file: bad chunk\n");
    vull_destroy_pod(one); // with what a damaged chunk left in it
    return item;
}

cpod *vull_open_pod_item(cpod *pod, int slot) {
    if (!pod || slot < 0 || slot >= pod->capacity || pod->position[slot] >= pod->count)
        return nullptr;
    if (pod->types[slot] == CPOD_LAZY && pod->source) {
        const auto *rec = static_cast<const pod_lazy_item *>(pod->items[slot]);
        if (rec->id == ID_CFIL) {
            // A raw file item's bytes are the pod, read in place from the same file.
            vull_file *f = pod->source->f;
            reader_scope scope(nullptr, rec->end);
            measure_stream(f);
            if (!seek_abs(f, rec->offset) || !need(f, 8 + 4 + POD_FILE_NAME_LEN) ||
                vull_fread_uint32(f) != ID_CFIL)
                return nullptr;
            (void)vull_fread_int32(f);
            int32_t length = vull_fread_int32(f);
            if (length < 0 || !skip(f, POD_FILE_NAME_LEN) || !need(f, length)) return nullptr;
            return open_pod(pod->source, position(f) + length);
        }
    }
    auto *f = static_cast<vull_file *>(cpod_get_item(pod, slot, CPOD_FILE));
    if (!f) return nullptr;
    f->position = 0;
    cpod *nested = vull_load_pod_file("", f);
    f->position = 0;
    return nested;
}

int64_t vull_pod_file_length(cpod *pod, int slot) {
    if (!pod || slot < 0 || slot >= pod->capacity || pod->position[slot] >= pod->count) return -1;
    if (pod->types[slot] == CPOD_FILE) {
        const auto *f = static_cast<const vull_file *>(pod->items[slot]);
        return f ? f->length : -1;
    }
    if (pod->types[slot] != CPOD_LAZY || !pod->source) return -1;
    const auto *rec = static_cast<const pod_lazy_item *>(pod->items[slot]);
    if ((rec->id & ~POD_COMPRESSED) != ID_CFIL) return -1;
    // Raw and compressed file chunks alike: identifier, size, then the length.
    vull_file *f = pod->source->f;
    reader_scope scope(nullptr, rec->end);
    measure_stream(f);
    if (!seek_abs(f, rec->offset) || !need(f, 12) || vull_fread_uint32(f) != rec->id) return -1;
    (void)vull_fread_int32(f);
    int32_t length = vull_fread_int32(f);
    return length < 0 ? -1 : length;
}

void vull_read_lazy_items(cpod *pod) {
    if (!pod || !pod->source) return;
    for (int s = 0; s < pod->capacity; s++)
        if (pod->types[s] == CPOD_LAZY) cpod_get_item(pod, s, 0);
}

cpod *vull_load_pod(const char *path) {
    vull_file *f = path ? vull_fopen(path, "rb") : nullptr;
    cpod *pod = f ? vull_load_pod_file(path, f) : nullptr;
    vull_fclose(f);
    vull_debugf("vull_load_pod: %s %s \n", path ? path : "", pod ? "ok" : "failed");
    return pod;
}

// Reads up to 256 pods into set[0..255]; a damaged pod moves the reader on to the next.
static void read_set(vull_file *f, cpod **set) {
    for (int i = 0; i < CPOD_SET_SIZE; i++) set[i] = vull_load_pod_file("", f);
}

int vull_load_pod_set(const char *path, cpod **set) {
    if (!set) return 1;
    cpod_set_init(set);
    vull_file *f = path ? vull_fopen(path, "rb") : nullptr;
    if (!f) return 1;
    vull_debugf("vull_load_pod_set: %s ", path);
    read_set(f, set);
    vull_fclose(f);
    vull_debug("ok\n");
    return 0;
}

int vull_load_pod_set_from_memory(void *data, int length, cpod **set) {
    if (!set) return 1;
    vull_debugf("vull_load_pod_set_from_memory  len %d ", length);
    vull_file *f = vull_fopen_memory(data, length);
    if (f) {
        std::snprintf(f->name, sizeof f->name, "MEM_POD");
        read_set(f, set);
        vull_fclose(f);
    } else {
        for (int i = 0; i < CPOD_SET_SIZE; i++) set[i] = nullptr;
    }
    vull_debug("ok\n");
    return 0;
}

int vull_load_pod_set_from_text_file(const char *path, cpod **set) {
    if (!set) return 1;
    vull_file *list = path ? vull_fopen(path, "r") : nullptr;
    if (!list) return 1;
    cpod_set_init(set);
    char line[256];
    while (vull_fgets_sensitive(line, 255, list)) {
        if (line[0] == '/' || std::strlen(line) < 4) continue;
        int index;
        char file[256];
        if (std::sscanf(line, "%d %255s", &index, file) != 2 || index < 0 ||
            index >= CPOD_SET_SIZE) {
            vull_debug("vull_load_pod_set_from_text_file: bad line\n");
            continue;
        }
        vull_file *f = vull_fopen(file, "rb");
        cpod *pod = f ? vull_load_pod_file(file, f) : nullptr;
        vull_fclose(f);
        vull_debugf("vull_load_pod: %s %s \n", file, pod ? "ok" : "failed");
        // A later line for the same entry replaces the earlier pod instead of leaking it.
        vull_destroy_pod(set[index]);
        set[index] = pod;
    }
    vull_fclose(list);
    return 0;
}
