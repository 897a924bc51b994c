// Builders and comparisons shared by the POD tests: one pod holding every chunk type.
#pragma once
#include "engine/anim.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/pod.h"
#include "engine/voxel.h"
#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/synth.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <vector>

namespace podtest {

// Destroys a container however the test ends, so a failed assertion reports itself, not a leak.
struct pod_deleter {
    void operator()(cpod *p) const { vull_destroy_pod(p); }
};
using pod_ptr = std::unique_ptr<cpod, pod_deleter>;

inline cmodel *make_model() {
    cmodel *m = vull_create_model();
    // A two-bone arm and a quad, with a polygon of more than four vertices.
    cmodel_new_vertex(m, 0, 0, 0);
    cmodel_new_vertex(m, 0, 1, 0);
    cmodel_new_vertex(m, 1, 1, 0);
    cmodel_new_vertex(m, 1, 0, 0.5f);
    cmodel_new_vertex(m, 2, 2, 2);
    int q = cmodel_new_quad(m, 0, 1, 2, 3);
    m->polygons[q].attr[0] = 0x1234;
    m->polygons[q].attr[1] = 0xBEEF;
    int big = cmodel_new_polygon(m, 5);
    for (int k = 0; k < 5; k++) {
        m->polygons[big].index[k] = 4 - k;
        m->polygons[big].uv[2 * k] = 0.25f * k;
        m->polygons[big].uv[2 * k + 1] = -0.5f * k;
    }
    int b0 = cmodel_new_polygon(m, 2);
    m->polygons[b0].index[0] = 0;
    m->polygons[b0].index[1] = 1;
    int b1 = cmodel_new_polygon(m, 2);
    m->polygons[b1].index[0] = 1;
    m->polygons[b1].index[1] = 2;
    m->bone_vertices[2].bone_a = 1;
    m->bone_vertices[2].weight = 0.25f;
    cmodel_decorate(m);
    return m;
}

inline vull_anim *make_anim() {
    vull_anim *a = vull_create_anim();
    a->header[0] = 7;
    a->header[1] = -3;
    for (int n = 0; n < 2; n++) {
        int i = canim_new_actor(a);
        cactor *act = &a->actors[i];
        std::strcpy(act->name2, "second");
        act->word[1] = 11 + n;
        act->word_b = 9;
        canim_channel *ch = act->vec[n];
        for (int t = 0; t < 3; t++) {
            int k = canim_channel_insert_state(ch, t * 10);
            float s[3] = {1.0f * t, 2.0f * t, 3.0f * t};
            std::memcpy(ch->states + k * 12, s, sizeof s);
        }
        ch->modes[1] = 1;
    }
    cactor *act = &a->actors[1];
    act->extra = static_cast<canim_channel **>(vull_calloc(2 * (int)sizeof(canim_channel *)));
    act->num_extra = 2;
    act->extra[0] = vull_create_anim_channel(CANIM_EXTRA_STATE);
    act->extra[1] = vull_create_anim_channel(CANIM_EXTRA_STATE);
    int k = canim_channel_insert_state(act->extra[1], 5);
    float s[4] = {1, 2, 3, 4};
    std::memcpy(act->extra[1]->states + k * 16, s, sizeof s);
    k = canim_channel_insert_state(act->events, 4);
    int32_t ev[6] = {2, 99, 0, 0, 0, 0};
    std::memcpy(act->events->states + k * 24, ev, sizeof ev);
    return a;
}

inline vull_synth *make_synth() {
    vull_synth *s = vull_create_synth(100);
    s->seed = 1234;
    for (int i : {0, 5, 20, 31}) { // slots beyond the sixteenth too
        vull_synth_node &n = s->node[i];
        n.word[0] = i + 1;
        n.word[1] = -i;
        n.word[2] = 3;
        n.closing_word = 77;
        n.wave_length = i % 64 + 1;
        for (int k = 0; k < n.wave_length; k++) n.wave[k] = (int8_t)(k * 5 - 100);
        for (int p = 0; p < VULL_SYNTH_FILE_PARAMS; p++) n.param[p] = {p * 100 + i, 0, p % 4, p % 3};
    }
    return s;
}

inline cbuffer *make_file_item(const char *name, int length, int seed) {
    cbuffer *b = vull_create_buffer(length);
    for (int i = 0; i < length; i++) cbuffer_add_uint8(b, (uint8_t)((i * seed) >> 3));
    b->position = 0;
    std::strncpy(b->name, name, sizeof b->name - 1);
    return b;
}

// A pod with one item of every type the format stores.
inline cpod *make_full_pod() {
    cpod *pod = vull_create_pod(0);
    std::strcpy(pod->name, "everything");
    vull_bitmap *b8 = vull_create_bitmap(17, 5, 8);
    for (int i = 0; i < 17 * 5; i++) b8->pixels[i] = (uint8_t)(i % 7);
    b8->tag = 42;
    cpod_add_item(pod, CPOD_BITMAP, b8);
    vull_bitmap *b32 = vull_create_bitmap(3, 4, 32);
    for (int i = 0; i < 3 * 4 * 4; i++) b32->pixels[i] = (uint8_t)(i * 13);
    cpod_add_item(pod, CPOD_BITMAP, b32);
    vull_voxmap *vm = vull_create_voxmap(4, 3, 2);
    vm->tag = -5;
    for (int i = 0; i < 24; i++) vm->voxels[i] = (uint8_t)(i + 1);
    cpod_add_item(pod, CPOD_VOXMAP, vm);
    vull_palette_rec *pal = vull_create_palette();
    for (int i = 0; i < 256; i++)
        pal->entry[i] = {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i / 2)};
    cpod_add_item(pod, CPOD_PALETTE, pal);
    cpod_add_item(pod, CPOD_MODEL, make_model());
    vull_material *mat = vull_create_material();
    mat->bytes[0] = 9;
    cpod_add_item(pod, CPOD_MATERIAL, mat);
    cpod_add_item(pod, CPOD_ANIM, make_anim());
    csound *snd = vull_create_sound(50, 16);
    snd->frequency = 11025;
    for (int i = 0; i < 100; i++) static_cast<uint8_t *>(snd->data)[i] = (uint8_t)(i * 3);
    cpod_add_item(pod, CPOD_SOUND, snd);
    cpod_add_item(pod, CPOD_SYNTH, make_synth());
    cpod_add_item(pod, CPOD_FILE, make_file_item("data.bin", 3000, 7));
    cpod_add_item(pod, CPOD_FILE, make_file_item("empty", 0, 1));
    return pod;
}

// Bytes of a pod as the writer produces them.
inline std::vector<uint8_t> save_bytes(cpod *pod, int compression = 0) {
    int saved = cconfig.pod_compression;
    cconfig.pod_compression = compression;
    cbuffer *b = vull_create_buffer(0);
    EXPECT_EQ(vull_save_pod_file("t", pod, b), 0);
    std::vector<uint8_t> out(b->data, b->data + b->length);
    vull_destroy_buffer(b);
    cconfig.pod_compression = saved;
    return out;
}

// Reads one pod from bytes; *consumed gets the bytes the reader used.
inline cpod *load_bytes(std::vector<uint8_t> &bytes, int *consumed = nullptr) {
    vull_file *f = vull_fopen_memory(bytes.data(), (int)bytes.size());
    cpod *pod = vull_load_pod_file("t", f);
    if (consumed) *consumed = f->position;
    vull_fclose(f);
    return pod;
}

inline void expect_channel_equal(const canim_channel *a, const canim_channel *b) {
    ASSERT_EQ(a->num_states, b->num_states);
    ASSERT_EQ(a->state_size, b->state_size);
    int n = a->num_states;
    if (n == 0) return;
    EXPECT_EQ(0, std::memcmp(a->states, b->states, (size_t)n * a->state_size));
    EXPECT_EQ(0, std::memcmp(a->times, b->times, (size_t)n * 4));
    EXPECT_EQ(0, std::memcmp(a->modes, b->modes, (size_t)n * 4));
}

inline void expect_item_equal(int type, void *x, void *y) {
    switch (type) {
    case CPOD_BITMAP: {
        auto *a = static_cast<vull_bitmap *>(x), *b = static_cast<vull_bitmap *>(y);
        ASSERT_EQ(a->width, b->width);
        ASSERT_EQ(a->height, b->height);
        ASSERT_EQ(a->bpp, b->bpp);
        EXPECT_EQ(a->tag, b->tag);
        EXPECT_EQ(0, std::memcmp(a->pixels, b->pixels, (size_t)a->width * a->height * a->bpp / 8));
        break;
    }
    case CPOD_VOXMAP: {
        auto *a = static_cast<vull_voxmap *>(x), *b = static_cast<vull_voxmap *>(y);
        ASSERT_EQ(a->width, b->width);
        ASSERT_EQ(a->height, b->height);
        ASSERT_EQ(a->depth, b->depth);
        EXPECT_EQ(a->tag, b->tag);
        EXPECT_EQ(0, std::memcmp(a->voxels, b->voxels, (size_t)a->width * a->height * a->depth));
        break;
    }
    case CPOD_PALETTE: EXPECT_EQ(0, std::memcmp(x, y, 768)); break;
    case CPOD_MATERIAL: EXPECT_EQ(0, std::memcmp(x, y, 96)); break;
    case CPOD_MODEL: {
        auto *a = static_cast<cmodel *>(x), *b = static_cast<cmodel *>(y);
        ASSERT_EQ(a->num_vertices, b->num_vertices);
        ASSERT_EQ(a->num_polygons, b->num_polygons);
        ASSERT_EQ(a->num_bones, b->num_bones);
        EXPECT_EQ(0, std::memcmp(a->vertices, b->vertices, (size_t)a->num_vertices * 12));
        for (int i = 0; i < a->num_polygons; i++) {
            const cpoly &p = a->polygons[i], &q = b->polygons[i];
            ASSERT_EQ(p.count, q.count) << "polygon " << i;
            EXPECT_EQ(p.attr[0], q.attr[0]);
            EXPECT_EQ(p.attr[1], q.attr[1]);
            EXPECT_EQ(0, std::memcmp(p.index, q.index, (size_t)p.count * 4));
            EXPECT_EQ(0, std::memcmp(p.uv, q.uv, (size_t)p.count * 8));
        }
        for (int v = 0; a->num_bones > 0 && v < a->num_vertices; v++) {
            EXPECT_EQ(a->bone_vertices[v].bone_a, b->bone_vertices[v].bone_a);
            EXPECT_EQ(a->bone_vertices[v].bone_b, b->bone_vertices[v].bone_b);
            EXPECT_EQ(a->bone_vertices[v].weight, b->bone_vertices[v].weight);
        }
        break;
    }
    case CPOD_ANIM: {
        auto *a = static_cast<vull_anim *>(x), *b = static_cast<vull_anim *>(y);
        ASSERT_EQ(a->num_actors, b->num_actors);
        EXPECT_EQ(a->header[0], b->header[0]);
        EXPECT_EQ(a->header[1], b->header[1]);
        for (int i = 0; i < a->num_actors; i++) {
            const cactor &p = a->actors[i], &q = b->actors[i];
            EXPECT_STREQ(p.name, q.name);
            EXPECT_STREQ(p.name2, q.name2);
            for (int k = 1; k < 4; k++) EXPECT_EQ(p.word[k], q.word[k]);
            EXPECT_EQ(p.word_a, q.word_a);
            EXPECT_EQ(p.word_b, q.word_b);
            ASSERT_EQ(p.num_extra, q.num_extra);
            for (int k = 0; k < 3; k++) expect_channel_equal(p.vec[k], q.vec[k]);
            for (int k = 0; k < p.num_extra; k++) expect_channel_equal(p.extra[k], q.extra[k]);
            expect_channel_equal(p.events, q.events);
        }
        break;
    }
    case CPOD_SOUND: {
        auto *a = static_cast<csound *>(x), *b = static_cast<csound *>(y);
        ASSERT_EQ(a->sample_count, b->sample_count);
        ASSERT_EQ(a->bits, b->bits);
        EXPECT_EQ(a->frequency, b->frequency);
        EXPECT_EQ(a->channels, b->channels);
        EXPECT_EQ(0,
                  std::memcmp(a->data, b->data, (size_t)a->sample_count * a->bits / 8));
        break;
    }
    case CPOD_SYNTH: {
        auto *a = static_cast<vull_synth *>(x), *b = static_cast<vull_synth *>(y);
        EXPECT_EQ(a->length, b->length);
        EXPECT_EQ(a->seed, b->seed);
        for (int i = 0; i < VULL_SYNTH_NODES; i++) {
            const vull_synth_node &p = a->node[i], &q = b->node[i];
            EXPECT_EQ(0, std::memcmp(p.word, q.word, sizeof p.word)) << "node " << i;
            EXPECT_EQ(p.closing_word, q.closing_word);
            ASSERT_EQ(p.wave_length, q.wave_length);
            EXPECT_EQ(0, std::memcmp(p.wave, q.wave, (size_t)p.wave_length));
            for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) {
                EXPECT_EQ(p.param[k].value, q.param[k].value);
                EXPECT_EQ(p.param[k].source, q.param[k].source);
                EXPECT_EQ(p.param[k].mod_kind, q.param[k].mod_kind);
            }
        }
        break;
    }
    case CPOD_FILE: {
        auto *a = static_cast<vull_file *>(x), *b = static_cast<vull_file *>(y);
        EXPECT_STREQ(a->name, b->name);
        ASSERT_EQ(a->length, b->length);
        EXPECT_EQ(b->position, 0);
        EXPECT_EQ(0, std::memcmp(a->data, b->data, (size_t)a->length));
        break;
    }
    default: ADD_FAILURE() << "unexpected type " << type;
    }
}

// Same items, same types, in slot order (the reader fills slots 0.. in file order).
inline void expect_pod_equal(const cpod *a, const cpod *b) {
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(a->name, b->name);
    ASSERT_EQ(a->count, b->count);
    int j = 0;
    for (int s = 0; s < a->capacity; s++) {
        if (a->position[s] >= a->count) continue;
        ASSERT_EQ(a->types[s], b->types[j]) << "item " << j;
        expect_item_equal(a->types[s], a->items[s], b->items[j]);
        j++;
    }
}

} // namespace podtest
