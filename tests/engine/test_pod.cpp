// POD files: round trips of every chunk type, byte layout, sets, hooks and the
// reader's and writer's failure paths.
#include "pod_test_util.h"
#include "engine/config.h"
#include "engine/vull.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace podtest;

namespace {

// Little-endian chunk bytes built by hand.
struct raw {
    std::vector<uint8_t> b;
    raw &id(const char *s) {
        b.insert(b.end(), s, s + 4);
        return *this;
    }
    raw &i32(int32_t v) {
        for (int k = 0; k < 4; k++) b.push_back((uint8_t)((uint32_t)v >> (8 * k)));
        return *this;
    }
    raw &i16(int16_t v) {
        b.push_back((uint8_t)v);
        b.push_back((uint8_t)((uint16_t)v >> 8));
        return *this;
    }
    raw &f32(float v) {
        int32_t x;
        std::memcpy(&x, &v, 4);
        return i32(x);
    }
    raw &bytes(const void *p, size_t n) {
        auto *c = static_cast<const uint8_t *>(p);
        b.insert(b.end(), c, c + n);
        return *this;
    }
    raw &zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    raw &header(const char *name = "raw", int count = 1) {
        char n[32] = {};
        std::strncpy(n, name, 31);
        return id("CPOD").i32(68).i32(1).bytes(n, 32).i32(count).zeros(28);
    }
    raw &material() { return id("CMAT").i32(96).zeros(96); }
};

int32_t word_at(const std::vector<uint8_t> &b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A folder of this process's own under the test HOME (removed at exit), so that parallel
// runs never read each other's files.
std::string home_path(const char *name) {
    static struct scratch {
        std::filesystem::path dir;
        scratch() {
            dir = std::filesystem::path(std::getenv("HOME")) /
                  ("pod_test_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
        }
        ~scratch() { std::filesystem::remove_all(dir); }
    } folder;
    return (folder.dir / name).string();
}

} // namespace

TEST(Pod, EveryChunkTypeRoundTripsPlainAndCompressed) {
    int live = vull_items_created;
    pod_ptr pod(make_full_pod());
    for (int compression : {0, 1}) {
        std::vector<uint8_t> bytes = save_bytes(pod.get(), compression);
        int consumed = 0;
        pod_ptr back(load_bytes(bytes, &consumed));
        expect_pod_equal(pod.get(), back.get());
        EXPECT_EQ(consumed, (int)bytes.size());
        std::string text(bytes.begin(), bytes.end());
        for (const char *id : {"BMP", "VMP", "FIL"}) {
            EXPECT_EQ(text.find(std::string(compression ? "c" : "C") + id) != std::string::npos,
                      true)
                << id;
            EXPECT_EQ(text.find(std::string(compression ? "C" : "c") + id), std::string::npos)
                << id;
        }
    }
    EXPECT_LT(save_bytes(pod.get(), 1).size(), save_bytes(pod.get(), 0).size());
    pod.reset();
    EXPECT_EQ(vull_items_created, live);
}

TEST(Pod, HeaderAndChunkLayout) {
    cpod *pod = vull_create_pod(0);
    std::strcpy(pod->name, "layout");
    vull_bitmap *bmp = vull_create_bitmap(2, 3, 8);
    bmp->tag = 0x11223344;
    for (int i = 0; i < 6; i++) bmp->pixels[i] = (uint8_t)(0xA0 + i);
    cpod_add_item(pod, CPOD_BITMAP, bmp);
    cpod_add_item(pod, CPOD_FILE, make_file_item("f.txt", 3, 1));
    std::vector<uint8_t> b = save_bytes(pod);
    ASSERT_EQ(b.size(), 76u + 8 + 20 + 6 + 8 + 4 + 64 + 3);
    EXPECT_EQ(0, std::memcmp(b.data(), "CPOD", 4));
    EXPECT_EQ(word_at(b, 4), 68);
    EXPECT_EQ(word_at(b, 8), 1);
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data() + 12), "layout");
    EXPECT_EQ(word_at(b, 44), 2);
    for (int i = 48; i < 76; i++) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(0, std::memcmp(b.data() + 76, "CBMP", 4));
    EXPECT_EQ(word_at(b, 80), 26);
    EXPECT_EQ(word_at(b, 84), 2);
    EXPECT_EQ(word_at(b, 88), 3);
    EXPECT_EQ(word_at(b, 92), 8);
    EXPECT_EQ(word_at(b, 96), 0x11223344);
    EXPECT_EQ(word_at(b, 100), 0);
    EXPECT_EQ(b[104], 0xA0);
    EXPECT_EQ(0, std::memcmp(b.data() + 110, "CFIL", 4));
    EXPECT_EQ(word_at(b, 114), 0);
    EXPECT_EQ(word_at(b, 118), 3);
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data() + 122), "f.txt");
    vull_destroy_pod(pod);
}

TEST(Pod, EveryOtherChunkLayoutByHand) {
    // The writer's bytes for each remaining chunk type against the layout built field by
    // field, and the reader on those bytes: a field out of order would pass a round trip.
    pod_ptr pod(vull_create_pod(0));
    std::strcpy(pod->name, "chunks");
    vull_voxmap *vm = vull_create_voxmap(2, 1, 1);
    vm->voxels[0] = 1;
    vm->voxels[1] = 2;
    vm->tag = 7;
    cpod_add_item(pod.get(), CPOD_VOXMAP, vm);
    vull_palette_rec *pal = vull_create_palette();
    pal->entry[1] = {9, 8, 7};
    cpod_add_item(pod.get(), CPOD_PALETTE, pal);
    cpod_add_item(pod.get(), CPOD_MATERIAL, vull_create_material());
    csound *snd = vull_create_sound(3, 8);
    for (int i = 0; i < 3; i++) static_cast<uint8_t *>(snd->data)[i] = (uint8_t)(i + 1);
    cpod_add_item(pod.get(), CPOD_SOUND, snd);

    cmodel *m = vull_create_model();
    cmodel_new_vertex(m, 1, 2, 3);
    cmodel_new_vertex(m, 4, 5, 6);
    int b = cmodel_new_polygon(m, 2);
    cpoly *bone = &m->polygons[b];
    bone->index[1] = 1;
    const float uv[4] = {0.5f, 0.25f, 0.75f, 1.0f};
    std::memcpy(bone->uv, uv, sizeof uv);
    bone->attr[0] = 3;
    bone->attr[1] = 4;
    m->bone_vertices[1].weight = 0.5f;
    cmodel_decorate(m);
    cpod_add_item(pod.get(), CPOD_MODEL, m);

    vull_anim *anim = vull_create_anim();
    anim->header[0] = 5;
    anim->header[1] = 6;
    int actor = canim_new_actor(anim);
    cactor *act = &anim->actors[actor];
    act->word[1] = 1, act->word[2] = 2, act->word[3] = 3, act->word_a = 8, act->word_b = 9;
    const float v3[3] = {1, 2, 3}, v4[4] = {1, 2, 3, 4};
    int k = canim_channel_insert_state(act->vec[2], 4);
    std::memcpy(act->vec[2]->states + 12 * k, v3, 12);
    act->vec[2]->modes[0] = 1;
    act->extra = static_cast<canim_channel **>(vull_calloc((int)sizeof(canim_channel *)));
    act->num_extra = 1;
    act->extra[0] = vull_create_anim_channel(CANIM_EXTRA_STATE);
    k = canim_channel_insert_state(act->extra[0], 6);
    std::memcpy(act->extra[0]->states + 16 * k, v4, 16);
    int32_t event[3] = {2, 10, 0};
    k = canim_channel_insert_state(act->events, 7);
    uint8_t *ev = act->events->states + 24 * k;
    std::memcpy(ev, event, 12);
    std::memcpy(ev + 12, v3, 12);
    cpod_add_item(pod.get(), CPOD_ANIM, anim);

    vull_synth *syn = vull_create_synth(2);
    syn->seed = 3;
    vull_synth_node &n0 = syn->node[0];
    n0.word[0] = 1, n0.word[1] = 2, n0.word[2] = 3, n0.closing_word = 4, n0.wave_length = 2;
    n0.wave[0] = -1;
    n0.wave[1] = 5;
    for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) n0.param[k] = {10 + k, 99, k, 1};
    cpod_add_item(pod.get(), CPOD_SYNTH, syn);

    raw r;
    r.header("chunks", 7);
    r.id("CVMP").i32(22).i32(2).i32(1).i32(1).i32(7).i32(0).bytes("\x01\x02", 2);
    r.id("CPAL").i32(768).bytes(pal->entry, 768);
    r.id("CMAT").i32(96).zeros(32).i32((int32_t)0xFF336699).i32((int32_t)0xFF606060).zeros(56);
    r.id("CSND")
        .i32(27)
        .i32(3)
        .i32(8)
        .i32(snd->frequency)
        .i32(snd->channels)
        .i32(0)
        .i32(0)
        .bytes("\x01\x02\x03", 3);
    r.id("CMOD").i32(0).i32(2).i32(1).i32(1).f32(1).f32(2).f32(3).f32(4).f32(5).f32(6);
    r.i16(2).i16(3).i16(4).i32(0).f32(0.5f).f32(0.25f).i32(1).f32(0.75f).f32(1.0f);
    r.i16(0).i16(0).f32(1.0f).i16(0).i16(0).f32(0.5f);
    char name[32] = "actor0", none[32] = {};
    r.id("CANI").i32(0).i32(1).i32(5).i32(6).zeros(20).bytes(name, 32).bytes(none, 32);
    r.i32(1).i32(2).i32(3).i32(8).i32(1).i32(9).zeros(12);
    r.i32(0).i32(0).i32(1).f32(1).f32(2).f32(3).i32(4).i32(1);             // vector channels
    r.i32(1).f32(1).f32(2).f32(3).f32(4).i32(6).i32(0);                    // extra channel
    r.i32(1).i32(2).i32(10).i32(0).f32(1).f32(2).f32(3).i32(7).i32(0);     // event channel
    r.id("CSYN").i32(0).i32(8).i32(3).i32(1).i32(0).i32(VULL_SYNTH_NODES); // every slot is stored
    r.i32(1).i32(2).i32(3).i32(4).i32(2).bytes("\xFF\x05", 2).i32(8);
    for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) r.i32(10 + k).i32(k).i32(1);
    for (int i = 1; i < VULL_SYNTH_NODES; i++) r.zeros(20).i32(8).zeros(96);

    std::vector<uint8_t> written = save_bytes(pod.get());
    ASSERT_EQ(written.size(), r.b.size());
    for (size_t i = 0; i < written.size(); i++) ASSERT_EQ(written[i], r.b[i]) << "byte " << i;
    pod_ptr back(load_bytes(r.b));
    expect_pod_equal(pod.get(), back.get());
}

TEST(Pod, NullEmptyAndBackToBackPods) {
    // A null container is a bare CNOP: read as null, exactly 8 bytes consumed.
    cbuffer *out = vull_create_buffer(0);
    EXPECT_EQ(vull_save_pod_file("n", nullptr, out), 0);
    ASSERT_EQ(out->length, 8);
    EXPECT_EQ(0, std::memcmp(out->data, "CNOP\0\0\0\0", 8));
    std::vector<uint8_t> cnop(out->data, out->data + 8);
    int consumed = 0;
    EXPECT_EQ(load_bytes(cnop, &consumed), nullptr);
    EXPECT_EQ(consumed, 8);
    vull_destroy_buffer(out);

    cpod *empty = vull_create_pod(0);
    std::vector<uint8_t> e = save_bytes(empty);
    EXPECT_EQ(load_bytes(e), nullptr);
    vull_destroy_pod(empty);

    // A second CPOD ends the first pod and is left for the next read.
    std::vector<uint8_t> two = raw().header("one").material().header("two").material().material().b;
    vull_file *f = vull_fopen_memory(two.data(), (int)two.size());
    cpod *first = vull_load_pod_file("t", f);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->count, 1);
    EXPECT_EQ(f->position, 76 + 104);
    cpod *second = vull_load_pod_file("t", f);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->name, "two");
    EXPECT_EQ(second->count, 2);
    vull_destroy_pod(first);
    vull_destroy_pod(second);
    vull_fclose(f);
}

TEST(Pod, NamesAreTerminated) {
    char name64[64], name32[32];
    std::memset(name64, 'x', sizeof name64);
    std::memset(name32, 'y', sizeof name32);
    std::vector<uint8_t> b = raw()
                                 .id("CPOD")
                                 .i32(68)
                                 .i32(1)
                                 .bytes(name32, 32)
                                 .i32(1)
                                 .zeros(28)
                                 .id("CFIL")
                                 .i32(0)
                                 .i32(2)
                                 .bytes(name64, 64)
                                 .i32(0x4141)
                                 .b;
    b.resize(b.size() - 2);
    cpod *pod = load_bytes(b);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(std::strlen(pod->name), 31u);
    auto *file = static_cast<vull_file *>(cpod_get_item(pod, 0, CPOD_FILE));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::strlen(file->name), 63u);
    EXPECT_EQ(file->length, 2);
    vull_destroy_pod(pod);
}

// A synth length whose node buffers (four bytes a value) cannot be allocated
// is refused by the reader, not stored for a render to wrap.
TEST(Pod, SynthLengthsPastTheAllocationCapAreRefused) {
    for (int32_t length : {-8, 0x10000001, 0x40000001, INT32_MAX}) {
        std::vector<uint8_t> syn =
            raw().header().id("CSYN").i32(0).i32(length).i32(5).i32(1).i32(0).i32(0).b;
        cpod *pod = load_bytes(syn);
        EXPECT_TRUE(pod == nullptr || pod->count == 0) << length;
        vull_destroy_pod(pod);
    }
    std::vector<uint8_t> ok = raw().header().id("CSYN").i32(0).i32(0x100000).i32(5).i32(1).i32(0).i32(0).b;
    cpod *pod = load_bytes(ok);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(static_cast<vull_synth *>(pod->items[0])->length, 0x100000);
    vull_destroy_pod(pod);
}

TEST(Pod, SynthVersionZeroAndModelBoneRules) {
    std::vector<uint8_t> syn =
        raw().header().id("CSYN").i32(0).i32(1000).i32(5).i32(0).i32(0).i32(0).b;
    cpod *pod = load_bytes(syn);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(static_cast<vull_synth *>(pod->items[0])->length, 500);
    vull_destroy_pod(pod);

    // No bones: no bone-vertex block even with vertices, so the material after it reads.
    raw r;
    r.header().id("CMOD").i32(0).i32(2).i32(1).i32(0);
    r.f32(0).f32(0).f32(0).f32(1).f32(2).f32(3);
    r.i16(2).i16(5).i16(6).i32(0).f32(0).f32(0).i32(1).f32(1).f32(1);
    r.material();
    pod = load_bytes(r.b);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 2);
    auto *m = static_cast<cmodel *>(pod->items[0]);
    EXPECT_EQ(m->num_bones, 0);
    EXPECT_EQ(m->polygons[0].attr[1], 6);
    vull_destroy_pod(pod);

    // Three bones; bone indices beyond them are clamped to the last bone.
    raw s;
    s.header().id("CMOD").i32(0).i32(4).i32(3).i32(3);
    for (int v = 0; v < 4; v++) s.f32(0).f32((float)v).f32(0);
    for (int p = 0; p < 3; p++)
        s.i16(2).i16(0).i16(0).i32(p).f32(0).f32(0).i32(p + 1).f32(0).f32(0);
    for (int v = 0; v < 4; v++) s.i16(7).i16((int16_t)v).f32(0.5f);
    pod = load_bytes(s.b);
    ASSERT_NE(pod, nullptr);
    m = static_cast<cmodel *>(pod->items[0]);
    EXPECT_EQ(m->bone_vertices[0].bone_a, 2);
    EXPECT_EQ(m->bone_vertices[3].bone_b, 2);
    EXPECT_EQ(m->bone_vertices[1].bone_b, 1);
    EXPECT_EQ(m->bone_parent[1], 0);
    vull_destroy_pod(pod);
}

TEST(Pod, UnknownChunksAreSkippedOnlyWithinTheInput) {
    std::vector<uint8_t> ok = raw().header().id("ABCD").i32(12).zeros(12).material().b;
    cpod *pod = load_bytes(ok);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 1);
    EXPECT_EQ(pod->types[0], CPOD_MATERIAL);
    vull_destroy_pod(pod);
    // A negative size would seek back to the same chunk for ever; a huge one past the end.
    // Either ends the pod there, keeping the material before it.
    for (int32_t size : {-8, -1, 13, 0x7FFFFFFF}) {
        std::vector<uint8_t> bad =
            raw().header().material().id("ABCD").i32(size).zeros(12).material().b;
        pod_ptr back(load_bytes(bad));
        ASSERT_NE(back, nullptr) << size;
        EXPECT_EQ(back->count, 1) << size;
    }
}

TEST(Pod, DamageKeepsWhatCanBeRead) {
    // A refused chunk whose size field is meaningful is passed over.
    std::vector<uint8_t> bytes = raw()
                                     .header()
                                     .material()
                                     .id("CBMP")
                                     .i32(28)
                                     .i32(2)
                                     .i32(2)
                                     .i32(16)
                                     .i32(0)
                                     .i32(0)
                                     .zeros(8)
                                     .id("CPAL")
                                     .i32(768)
                                     .zeros(768)
                                     .b;
    pod_ptr pod(load_bytes(bytes));
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->count, 2);
    EXPECT_EQ(pod->types[0], CPOD_MATERIAL);
    EXPECT_EQ(pod->types[1], CPOD_PALETTE);
    // A model has no size field: its damage ends the pod, keeping what came before.
    bytes = raw().header().material().id("CMOD").i32(0).i32(3).i32(-1).i32(0).material().b;
    pod.reset(load_bytes(bytes));
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 1);
    // An item cut short is dropped; the ones before it stay.
    bytes = raw().header().material().id("CPAL").i32(768).zeros(700).b;
    pod.reset(load_bytes(bytes));
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 1);
    EXPECT_EQ(pod->types[0], CPOD_MATERIAL);
}

namespace {
int hook_calls;
int test_load_hook(vull_file *f, cpod *pod, uint32_t id) {
    hook_calls++;
    if (id != pod_chunk_id("XAPP")) return 1;
    auto *v = static_cast<int32_t *>(vull_malloc(4));
    *v = vull_fread_int32(f);
    cpod_add_item(pod, 100, v);
    return 0;
}
int test_save_hook(vull_file *f, cpod *pod, int slot) {
    vull_fwrite_uint32(pod_chunk_id("XAPP"), f);
    vull_fwrite_int32(4, f);
    vull_fwrite_int32(*static_cast<int32_t *>(pod->items[slot]), f);
    return 0;
}
void test_destroy_hook(void *item, int) { vull_free(item); }
} // namespace

TEST(Pod, ApplicationChunksGoThroughTheHooks) {
    vull_set_load_item_func(test_load_hook);
    vull_set_save_item_func(test_save_hook);
    vull_set_destroy_item_func(test_destroy_hook);
    cpod *pod = vull_create_pod(0);
    auto *v = static_cast<int32_t *>(vull_malloc(4));
    *v = 0x5EED;
    cpod_add_item(pod, 100, v);
    cpod_add_item(pod, CPOD_MATERIAL, vull_create_material());
    std::vector<uint8_t> b = save_bytes(pod);
    hook_calls = 0;
    cpod *back = load_bytes(b);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(hook_calls, 1);
    ASSERT_EQ(back->types[0], 100);
    EXPECT_EQ(*static_cast<int32_t *>(back->items[0]), 0x5EED);
    // A chunk the hook declines is skipped by its size.
    std::vector<uint8_t> other = raw().header().id("QQQQ").i32(4).i32(1).material().b;
    cpod *skipped = load_bytes(other);
    ASSERT_NE(skipped, nullptr);
    EXPECT_EQ(skipped->types[0], CPOD_MATERIAL);
    vull_destroy_pod(skipped);
    vull_destroy_pod(back);
    vull_destroy_pod(pod);
    vull_set_load_item_func(nullptr);
    vull_set_save_item_func(nullptr);
    vull_set_destroy_item_func(nullptr);
}

TEST(Pod, ContainersWithGapsAreWrittenDense) {
    cpod *pod = vull_create_pod(0);
    for (int i = 0; i < 4; i++) {
        vull_material *m = vull_create_material();
        m->bytes[0] = (uint8_t)i;
        cpod_add_item(pod, CPOD_MATERIAL, m);
    }
    cpod_delete_item(pod, 1);
    cpod_add_item(pod, CPOD_MEMORY, vull_malloc(8)); // takes slot 1; memory blocks are not stored
    std::vector<uint8_t> b = save_bytes(pod);
    EXPECT_EQ(word_at(b, 44), 3);
    cpod *back = load_bytes(b);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->count, 3);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(static_cast<vull_material *>(back->items[i])->bytes[0], i == 0 ? 0 : i + 1);
    vull_destroy_pod(back);
    vull_destroy_pod(pod);
}

TEST(Pod, ModelWhoseBonesWereDeletedStaysInStep) {
    cmodel *m = make_model();
    while (m->num_bones > 0) cmodel_delete_polygon(m, 0);
    ASSERT_NE(m->bone_vertices, nullptr); // the records outlive the bones
    cpod *pod = vull_create_pod(0);
    cpod_add_item(pod, CPOD_MODEL, m);
    cpod_add_item(pod, CPOD_MATERIAL, vull_create_material());
    std::vector<uint8_t> b = save_bytes(pod);
    cpod *back = load_bytes(b);
    expect_pod_equal(pod, back);
    vull_destroy_pod(back);
    vull_destroy_pod(pod);
}

TEST(Pod, DamagedCompressedBlocksAreDropped) {
    cpod *pod = vull_create_pod(0);
    cpod_add_item(pod, CPOD_FILE, make_file_item("f", 4000, 3));
    std::vector<uint8_t> good = save_bytes(pod, 1);
    vull_destroy_pod(pod);
    size_t body = 76 + 8 + 4 + 64; // the compressed length word
    int32_t clen = word_at(good, body);
    ASSERT_GT(clen, 0);
    // Claimed sizes that do not match what the block yields, and a corrupted block.
    std::vector<uint8_t> longer = good, shorter = good, flipped = good;
    int32_t l = 4001, s = 3999;
    std::memcpy(longer.data() + 76 + 8, &l, 4);
    std::memcpy(shorter.data() + 76 + 8, &s, 4);
    for (size_t i = body + 4; i < flipped.size(); i += 3) flipped[i] ^= 0x5A;
    EXPECT_EQ(load_bytes(longer), nullptr);
    EXPECT_EQ(load_bytes(shorter), nullptr);
    EXPECT_EQ(load_bytes(flipped), nullptr);
}

TEST(Pod, WriteFailuresAreReported) {
    pod_ptr pod(make_full_pod());
    // A fixed memory block too small for the pod cuts the writes short.
    std::vector<uint8_t> small(100);
    vull_file *f = vull_fopen_memory(small.data(), (int)small.size());
    EXPECT_EQ(vull_save_pod_file("t", pod.get(), f), 1);
    vull_fclose(f);
    EXPECT_EQ(vull_save_pod_file("t", pod.get(), nullptr), 1);
    vull_file *full = vull_fopen("/dev/full", "wb");
    if (full) {
        EXPECT_EQ(vull_save_pod_file("t", pod.get(), full), 1);
        vull_fclose(full);
    }
    EXPECT_EQ(vull_save_pod("/nonexistent-folder/x.pod", pod.get()), 1);
    cpod *set[CPOD_SET_SIZE];
    cpod_set_init(set);
    EXPECT_EQ(vull_save_pod_set("/nonexistent-folder/x.pod", set), 1);
    // A failed save leaves the earlier file as it was, and no temporary beside it.
    std::string path = home_path("keep.pod");
    ASSERT_EQ(vull_save_pod(path.c_str(), pod.get()), 0);
    vull_bitmap *odd = vull_create_bitmap(2, 2, 16); // not a depth POD files store
    cpod_add_item(pod.get(), CPOD_BITMAP, odd);
    EXPECT_EQ(vull_save_pod(path.c_str(), pod.get()), 1);
    pod_ptr back(vull_load_pod(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->count, pod->count - 1);
    int files = 0;
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        files += entry.path().filename().string().rfind("keep.pod", 0) == 0;
    EXPECT_EQ(files, 1);
}

TEST(Pod, ItemsThatWouldNotReadBackFailTheSave) {
    // Each of these would make the reader refuse the whole pod, so the writer says so.
    auto fails = [](int type, void *item) {
        pod_ptr pod(vull_create_pod(0));
        cpod_add_item(pod.get(), type, item);
        cbuffer *out = vull_create_buffer(0);
        int result = vull_save_pod_file("t", pod.get(), out);
        vull_destroy_buffer(out);
        return result == 1;
    };
    cmodel *deleted = make_model();
    cmodel_delete_vertex(deleted, 1); // leaves -1 indices behind
    EXPECT_TRUE(fails(CPOD_MODEL, deleted));
    cmodel *short_bone = make_model();
    cpoly_set_num_vertices(&short_bone->polygons[0], 1);
    EXPECT_TRUE(fails(CPOD_MODEL, short_bone));
    vull_anim *anim = make_anim();
    vull_destroy_anim_channel(anim->actors[0].vec[0]);
    anim->actors[0].vec[0] = vull_create_anim_channel(CANIM_EXTRA_STATE); // wrong state size
    canim_channel_insert_state(anim->actors[0].vec[0], 1);
    EXPECT_TRUE(fails(CPOD_ANIM, anim));
    vull_file *stream = vull_fopen(home_path("stream.bin").c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(fails(CPOD_FILE, stream)); // its bytes are not in memory
}

TEST(Pod, SavingThroughALinkKeepsTheLinkAndThePermissions) {
    pod_ptr pod(vull_create_pod(0));
    cpod_add_item(pod.get(), CPOD_MATERIAL, vull_create_material());
    std::string target = home_path("target.pod"), link = home_path("link.pod");
    ASSERT_EQ(vull_save_pod(target.c_str(), pod.get()), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    cpod_add_item(pod.get(), CPOD_PALETTE, vull_create_palette());
    ASSERT_EQ(vull_save_pod(link.c_str(), pod.get()), 0);
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    pod_ptr back(vull_load_pod(target.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->count, 2);
}

TEST(Pod, PodSetsOnDiskInMemoryAndFromTextLists) {
    pod_ptr a(make_full_pod()), b(vull_create_pod(0)), c(vull_create_pod(0));
    std::strcpy(b->name, "b");
    cpod_add_item(b.get(), CPOD_MATERIAL, vull_create_material());
    std::strcpy(c->name, "c");
    cpod_add_item(c.get(), CPOD_PALETTE, vull_create_palette());
    cpod *set[CPOD_SET_SIZE];
    cpod_set_init(set);
    set[0] = a.get();
    set[2] = b.get(); // entry 1 is written as CNOP and keeps b at index 2
    set[3] = c.get();
    std::string path = home_path("set.pods");
    ASSERT_EQ(vull_save_pod_set(path.c_str(), set), 0);
    cpod *back[CPOD_SET_SIZE];
    ASSERT_EQ(vull_load_pod_set(path.c_str(), back), 0);
    expect_pod_equal(a.get(), back[0]);
    EXPECT_EQ(back[1], nullptr);
    expect_pod_equal(b.get(), back[2]);
    expect_pod_equal(c.get(), back[3]);
    for (int i = 4; i < CPOD_SET_SIZE; i++) EXPECT_EQ(back[i], nullptr);
    cpod_set_clear(back);
    EXPECT_EQ(vull_load_pod_set(home_path("missing.pods").c_str(), back), 1);

    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    cpod *mem[CPOD_SET_SIZE];
    ASSERT_EQ(vull_load_pod_set_from_memory(bytes.data(), (int)bytes.size(), mem), 0);
    expect_pod_equal(b.get(), mem[2]);
    EXPECT_EQ(mem[4], nullptr);
    cpod_set_clear(mem);
    // A pod that ends at damage leaves the reader at the next pod, so the rest still loads.
    std::vector<uint8_t> damaged = save_bytes(b.get());
    std::vector<uint8_t> bad = raw().header().material().id("CMOD").i32(0).i32(-1).zeros(40).b;
    std::vector<uint8_t> nop = raw().id("CNOP").i32(0).b, tail = save_bytes(c.get());
    for (auto *part : {&bad, &nop, &tail})
        damaged.insert(damaged.end(), part->begin(), part->end());
    ASSERT_EQ(vull_load_pod_set_from_memory(damaged.data(), (int)damaged.size(), mem), 0);
    expect_pod_equal(b.get(), mem[0]);
    ASSERT_NE(mem[1], nullptr);
    EXPECT_EQ(mem[1]->count, 1);
    EXPECT_EQ(mem[2], nullptr);
    expect_pod_equal(c.get(), mem[3]);
    EXPECT_EQ(mem[4], nullptr);
    cpod_set_clear(mem);

    std::string bpath = home_path("b.pod"), cpath = home_path("c.pod"),
                list = home_path("pods.txt");
    ASSERT_EQ(vull_save_pod(bpath.c_str(), b.get()), 0);
    ASSERT_EQ(vull_save_pod(cpath.c_str(), c.get()), 0);
    {
        std::ofstream t(list);
        t << "// comment 1 " << bpath << "\n"
          << "x\n"
          << "5 " << bpath << "\n"
          << "300 " << bpath << "\n"
          << "-1 " << bpath << "\n"
          << "7 " << home_path("nothing.pod") << "\n"
          << "9 " << bpath << "\n"
          << "9 " << cpath << "\n"; // replaces entry 9 without leaking the first pod
    }
    cpod *listed[CPOD_SET_SIZE];
    ASSERT_EQ(vull_load_pod_set_from_text_file(list.c_str(), listed), 0);
    expect_pod_equal(b.get(), listed[5]);
    EXPECT_EQ(listed[7], nullptr);
    expect_pod_equal(c.get(), listed[9]);
    EXPECT_EQ(listed[1], nullptr);
    cpod_set_clear(listed);
    EXPECT_EQ(vull_load_pod_set_from_text_file(home_path("no-list.txt").c_str(), listed), 1);
}

TEST(Pod, Lz4StreamsCheckTheirLength) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); i++) data[i] = (uint8_t)(i / 10);
    cbuffer *b = vull_create_buffer(0);
    int clen = vull_fwrite_lz4(data.data(), (int)data.size(), b);
    ASSERT_GT(clen, 0);
    EXPECT_EQ(b->length, clen + 4);
    std::vector<uint8_t> back(1000), big(1001);
    b->position = 0;
    EXPECT_EQ(vull_fread_lz4(back.data(), 1000, b), 0);
    EXPECT_EQ(back, data);
    b->position = 0;
    EXPECT_EQ(vull_fread_lz4(big.data(), 1001, b), -1);
    vull_destroy_buffer(b);
}
