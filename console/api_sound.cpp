// Console runtime: the sound and serial bindings. sfx and music map onto the
// audio engine's channel control; serial onto the serial channels.
#include <algorithm>

#include "audio/channel.h"
#include "cart/cart.h"
#include "console/api.h"
#include "console/api_sound.h"
#include "console/cpu.h"
#include "console/serial.h"
#include "cart/state.h"
#include "engine/vull.h"

namespace {

int32_t raw_arg(lua_State *L, int k) { return lua_tonumberx(L, k, nullptr); }

// A typed command line after a stop wakes the sound: the stopped cart's music
// and sfx go first.
void wake_sound() {
    if (pstate.cart_code_running || !vull_state.sound_paused) return;
    cmusic_stop(nullptr, 0);
    vull_stop_all_sounds();
    vull_state.sound_paused = 0;
}

} // namespace

int z6_sfx(lua_State *L) {
    wake_sound();
    int argc = lua_gettop(L);
    if (argc < 1) return 0;
    int channel = -1;
    if (argc >= 2) {
        channel = z6_arg_int(L, 2);
        if (channel < -2 || channel > 3) return 0;
    }
    int offset = argc >= 3 ? z6_arg_int(L, 3) : 0;
    int length = argc >= 4 ? z6_arg_int(L, 4) : 0;
    int n = z6_arg_int(L, 1);
    zibo6_cart *cart = pstate.memory_cart;
    if (n == -1) {
        vull_play_sfx_ex(nullptr, 0, 0, nullptr, channel);
    } else if (n == -2) {
        vull_release_looping_zibo6_channel(channel);
    } else if (channel != -2) {
        if (!cart) return 0;
        zibo6_sfx *sfx = &cart->sfx[std::clamp(n, 0, 63)];
        vull_stop_sfx(sfx);
        vull_play_sfx_ex(sfx, std::clamp(offset, 0, 31), length, cart, channel);
        spend_cpu(16);
    } else if (n >= 0 && n <= 63 && cart) {
        vull_stop_sfx(&cart->sfx[n]);
    }
    return 0;
}

int z6_music(lua_State *L) {
    wake_sound();
    int argc = lua_gettop(L);
    int n = z6_arg_int(L, 1);
    int fade_ms = argc >= 2 ? z6_arg_int(L, 2) : 0;
    int mask = argc >= 3 ? z6_arg_int(L, 3) : 0;
    if (n == -1) {
        cmusic_stop(nullptr, fade_ms);
    } else {
        vull_play_zibo6_song(pstate.memory_cart, std::clamp(n, 0, 63), fade_ms);
        vull_music_mask = mask;
    }
    spend_cpu(16);
    return 0;
}

int z6_serial(lua_State *L) {
    int argc = lua_gettop(L);
    int channel = z6_arg_int(L, 1);
    if (argc == 2 && lua_type(L, 2) == LUA_TSTRING) {
        set_serial_parameters(channel, lua_tostring(L, 2));
        return 0;
    }
    int address = z6_arg_int(L, 2);
    int bits = raw_arg(L, 3) >> 13; // the length is in bytes and may have eighths
    int64_t total = 0;
    if (argc >= 4)
        total = write_to_serial_channel_repeated(channel, address, bits, z6_arg_int(L, 4));
    else
        total = write_to_serial_channel(channel, address, bits);
    lua_pushnumber(L, lua_Number(std::min<int64_t>(total << 13, INT32_MAX)));
    spend_cpu(int(std::min<int64_t>(total / 64, INT32_MAX)));
    return 1;
}

int zibo6_sound_stat(int n, int *value) {
    if (n < 16 || n > 26) return 0;
    const zibo6_cart *cart = pstate.memory_cart;
    // The sfx a voice plays, as an index of the memory cart's bank: by record
    // identity, so identical (say empty) sfx are still told apart.
    auto sfx_index = [&](const zibo6_sfx *s) {
        if (!s || !cart || s < cart->sfx || s >= cart->sfx + 64) return -1;
        return int(s - cart->sfx);
    };
    if (n <= 23) {
        int voice = (n - 16) & 3;
        const zibo6_sfx *s = vull_get_zibo6_channel_sfx(voice);
        int channel = s ? voice : 4 + voice;
        if (!s) s = vull_get_zibo6_channel_sfx(channel);
        if (n <= 19)
            *value = sfx_index(s);
        else
            *value = s ? vull_get_channel_note(channel) : -1;
        return 1;
    }
    if (!vull_music_is_playing()) {
        *value = -1;
        return 1;
    }
    if (n == 24)
        *value = vull_state.song_pattern;
    else if (n == 25)
        *value = vull_state.patterns_played;
    else
        *value = vull_get_zibo6_song_ticks();
    return 1;
}
