// The cart record: defaults at creation, what counts as empty, and the
// release of everything it owns.
#include <gtest/gtest.h>

#include "cart/cart.h"
#include "cart/state.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "audio/channel.h"
#include "audio/mixer.h"

TEST(CartRecord, DefaultsAtCreation) {
    zibo6_cart *c = vull_create_zibo6_cart();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->code[0], 0);
    ASSERT_NE(c->sprites, nullptr);
    EXPECT_EQ(c->sprites->width, 128);
    EXPECT_EQ(c->sprites->height, 128);
    ASSERT_NE(c->map, nullptr);
    EXPECT_EQ(c->map->width, 128);
    EXPECT_EQ(c->map->height, 64);
    EXPECT_EQ(c->label, nullptr);
    EXPECT_EQ(c->sfx[0].speed, 1);
    for (int i = 1; i < 64; i++) EXPECT_EQ(c->sfx[i].speed, 16) << i;
    for (int p = 0; p < 64; p++) {
        for (int ch = 0; ch < 4; ch++) EXPECT_EQ(c->music[p][ch], 0x41 + ch);
        EXPECT_EQ(c->pattern_flags[p], 0);
    }
    for (uint8_t b : c->change_mask) EXPECT_EQ(b, 0xFF);
    for (auto *u : c->undo) EXPECT_NE(u, nullptr);
    EXPECT_EQ(c->version, 0);
    EXPECT_EQ(c->legacy_applied, 0);
    for (int i = 0; i < 64; i++) EXPECT_TRUE(zibo6_sfx_is_empty(c, i));
    for (int i = 0; i < 64; i++) EXPECT_TRUE(zibo6_pattern_is_empty(c, i));
    vull_destroy_zibo6_cart(c);
}

TEST(CartRecord, EmptinessRules) {
    zibo6_cart *c = vull_create_zibo6_cart();
    ASSERT_NE(c, nullptr);
    // Word 0 (filters) is not considered; every other word is.
    c->sfx[3].filters = 6;
    EXPECT_TRUE(zibo6_sfx_is_empty(c, 3));
    c->sfx[0].speed = 16; // sfx 0's default speed is 1
    EXPECT_FALSE(zibo6_sfx_is_empty(c, 0));
    c->sfx[5].note[31].custom = 128;
    EXPECT_FALSE(zibo6_sfx_is_empty(c, 5));
    c->sfx[6].flag = 1;
    EXPECT_FALSE(zibo6_sfx_is_empty(c, 6));
    c->music[7][3] = 0x40; // channel 3 alone differs from 0x44
    EXPECT_FALSE(zibo6_pattern_is_empty(c, 7));
    c->pattern_flags[8] = 4;
    EXPECT_FALSE(zibo6_pattern_is_empty(c, 8));
    vull_destroy_zibo6_cart(c);
}

TEST(CartRecord, DestroyStopsSoundsAndReleasesEverything) {
    vull_destroy_zibo6_cart(nullptr);
    uint32_t live = vull_total_malloced;
    zibo6_cart *c = vull_create_zibo6_cart();
    ASSERT_NE(c, nullptr);
    c->label = vull_create_bitmap(128, 128, 8);
    pstate.memory_cart = c;
    c->music[0][0] = 1;
    vull_play_zibo6_song(c, 0, 0);
    vull_play_sfx_ex(&c->sfx[5], 0, 0, c, 2);
    vull_play_sfx_ex(&c->sfx[63], 0, 0, c, 9);
    vull_destroy_zibo6_cart(c);
    EXPECT_EQ(pstate.memory_cart, nullptr);
    for (const mixer_channel &ch : ms0.channel) { // nothing left pointing into the record
        EXPECT_FALSE(ch.bank == c || ch.song);
        EXPECT_EQ(ch.sfx, nullptr);
    }
    EXPECT_EQ(vull_total_malloced, live);
}
