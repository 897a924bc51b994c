// Editor remnants: the shared sheet/map half, backup records, clipboards and
// the sheet's undo snapshot.
#include <gtest/gtest.h>

#include <cstring>

#include "cart/editor.h"
#include "cart/state.h"
#include "engine/undo.h"
#include "tests/cart/cart_test_util.h"

using cart_test::cart_ptr;

namespace {

TEST(shared_half, sync_is_an_identity_both_ways) {
    cart_ptr c(vull_create_zibo6_cart());
    c->sprites->rows[64][0] = 3;
    c->sprites->rows[64][1] = 10;
    sync_shared_gfx_to_map(c.get());
    EXPECT_EQ(c->map->rows[32][0], 0xa3);
    for (int y = 64; y < 128; y++)
        for (int x = 0; x < 128; x++) c->sprites->rows[y][x] = uint8_t((x * 7 + y * 3) & 15);
    std::vector<uint8_t> sheet(c->sprites->pixels, c->sprites->pixels + 128 * 128);
    sync_shared_gfx_to_map(c.get());
    std::memset(c->sprites->pixels + 64 * 128, 0, 64 * 128);
    sync_shared_map_to_gfx(c.get());
    EXPECT_EQ(std::memcmp(sheet.data(), c->sprites->pixels, sheet.size()), 0);
    for (int i = 0; i < 128 * 32; i++) c->map->pixels[32 * 128 + i] = uint8_t(i * 13);
    std::vector<uint8_t> map(c->map->pixels, c->map->pixels + 128 * 64);
    sync_shared_map_to_gfx(c.get());
    std::memset(c->map->pixels + 32 * 128, 0, 32 * 128);
    sync_shared_gfx_to_map(c.get());
    EXPECT_EQ(std::memcmp(map.data(), c->map->pixels, map.size()), 0);
}

TEST(backup_record, restore_swaps_and_a_second_call_undoes_it) {
    cart_ptr c(vull_create_zibo6_cart());
    pitem.cart = c.get();
    backup_gfx(); // makes the sheet's record and pushes the first snapshot
    ASSERT_TRUE(zedit.gfx_backup);
    c->sprites->rows[5][5] = 9;
    c->sprite_flags[3] = 0x42;
    restore_bmp(c->sprites, zedit.gfx_backup);
    EXPECT_EQ(c->sprites->rows[5][5], 0);
    EXPECT_EQ(c->sprite_flags[3], 0);
    restore_bmp(c->sprites, zedit.gfx_backup);
    EXPECT_EQ(c->sprites->rows[5][5], 9);
    EXPECT_EQ(c->sprite_flags[3], 0x42);
    destroy_dbmp(zedit.gfx_backup);
    EXPECT_EQ(zedit.gfx_backup, nullptr);
    pitem.cart = nullptr;
}

TEST(undo_snapshot, sheet_restores_changed_bytes_and_low_flags_only) {
    cart_ptr c(vull_create_zibo6_cart());
    pitem.cart = c.get();
    vull_undo_stack *stack = c->undo[ZIBO6_UNDO_SPRITES];
    ASSERT_TRUE(stack);
    c->sprite_flags[1] = 7;
    c->sprite_flags[100] = 8;
    backup_gfx();
    c->sprites->rows[2][3] = 12;
    c->sprite_flags[1] = 0;
    c->sprite_flags[100] = 0;
    backup_gfx();
    cbuffer *state = vull_undo(stack);
    ASSERT_TRUE(state);
    c->sprites->rows[9][9] = 4; // not in the patch: left alone
    EXPECT_EQ(restore_undo_bmp_state(state, c->sprites, stack), 0);
    EXPECT_EQ(c->sprites->rows[2][3], 0);
    EXPECT_EQ(c->sprites->rows[9][9], 4);
    EXPECT_EQ(c->sprite_flags[1], 7);
    EXPECT_EQ(c->sprite_flags[100], 0); // only sprites 0-63 travel
    EXPECT_EQ(restore_undo_bmp_state(nullptr, c->sprites, stack), 0);

    // Another bitmap: its pixels and the caller's value alone.
    vull_bitmap *other = vull_create_bitmap(4, 4, 8);
    cbuffer *s = create_undo_bmp_state(other, 1234);
    EXPECT_EQ(s->length, 16 + 4);
    EXPECT_EQ(restore_undo_bmp_state(s, other, nullptr), 1234);
    vull_destroy_buffer(s);
    vull_destroy_bitmap(other);
    destroy_dbmp(zedit.gfx_backup);
    pitem.cart = nullptr;
}

TEST(undo_snapshot, sound_bank_round_trip) {
    cart_ptr c(vull_create_zibo6_cart());
    c->sfx[9].note[3].pitch = 40;
    c->music[7][2] = 12;
    zedit.sfx_words[4] = 99;
    cbuffer *s = create_undo_sfx64_state(c.get());
    EXPECT_EQ(s->length, 42240 + 1296 + 13 * 4);
    cart_ptr d(vull_create_zibo6_cart());
    zedit.sfx_words[4] = 0;
    EXPECT_EQ(restore_undo_sfx64_state(s, d.get()), 1);
    EXPECT_EQ(d->sfx[9].note[3].pitch, 40);
    EXPECT_EQ(d->music[7][2], 12);
    EXPECT_EQ(zedit.sfx_words[4], 99);
    EXPECT_EQ(restore_undo_sfx64_state(nullptr, d.get()), 0);
    vull_destroy_buffer(s);
}

TEST(clipboards, notes_sfx_and_patterns) {
    cart_ptr c(vull_create_zibo6_cart());
    c->sfx[2].note[0].pitch = 27; // D# octave 2
    c->sfx[2].note[0].volume = 5;
    do_copy_sfx(&c->sfx[2], nullptr);
    do_paste_sfx(&c->sfx[3], 31); // only one note fits
    EXPECT_EQ(c->sfx[3].note[31].pitch, 27);
    EXPECT_EQ(c->sfx[3].note[31].volume, 5);

    zibo6_audio_buffer *buf = create_audio_buffer();
    do_copy_sfxes(c.get(), buf, 2, 3, 1); // marked to move
    c->music[0][0] = 2 | 0x80;
    do_paste_sfxes(buf, c.get(), 10);
    EXPECT_EQ(c->sfx[10].note[0].pitch, 27);
    EXPECT_TRUE(zibo6_sfx_is_empty(c.get(), 2));
    EXPECT_EQ(c->music[0][0], 10 | 0x80);

    c->music[1][0] = 10;
    do_copy_patterns(c.get(), buf, 1, 1, 1);
    EXPECT_EQ(c->music[1][0], 0x81);
    cart_ptr d(vull_create_zibo6_cart());
    do_paste_patterns(buf, d.get(), 0);
    EXPECT_EQ(d->music[0][0], 0); // copied into the first empty slot
    EXPECT_EQ(d->sfx[0].note[0].pitch, 27);
    do_paste_patterns(buf, d.get(), 1); // found by content this time
    EXPECT_EQ(d->music[1][0], 0);
    destroy_audio_buffer(buf);

    int l, t, r, b;
    get_selected_area(5, 9, 2, 1, &l, &t, &r, &b);
    EXPECT_EQ(l + t * 10 + r * 100 + b * 1000, 2 + 10 + 500 + 9000);
}

} // namespace
