// Keyboard state and the typed-key queue. The platform's event pump fills
// the arrays once a frame; everything else reads keys through here.
#include <cstring>

#include "engine/config.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/pump.h"

uint8_t vullkey[VULL_NUM_KEYS];
uint8_t last_vullkey[VULL_NUM_KEYS];
uint8_t block_vullkey[VULL_NUM_KEYS];
int32_t vullkey_buffer[VULL_KEY_BUFFER];
int vullkey_buffer_pos;

void vull_keys_init() {
    memset(vullkey, 0, sizeof vullkey);
    memset(last_vullkey, 0, sizeof last_vullkey);
    memset(block_vullkey, 0, sizeof block_vullkey);
}

void vull_keys_exit() {}

// The keys a pseudo-code stands for, first match wins.
struct key_group {
    int code;
    int keys[4];
    int count;
};
static constexpr key_group key_groups[] = {
    {VULL_KEY_SHIFT, {225, 229}, 2}, {VULL_KEY_CTRL, {224, 228, 500, 501}, 4},
    {VULL_KEY_ALT, {226, 230}, 2},   {VULL_KEY_GUI, {500, 501}, 2},
    {VULL_KEY_EXTRA, {502, 503}, 2},
};

int vull_get_key_state(int code) {
    if (code >= 0 && code < VULL_NUM_KEYS) {
        if (!vullkey[code] || block_vullkey[code]) return 0;
        return (!last_vullkey[code] || vullkey[code] == 3) ? 3 : 1;
    }
    for (const key_group &g : key_groups) {
        if (g.code != code) continue;
        for (int i = 0; i < g.count; i++)
            if (int r = vull_get_key_state(g.keys[i])) return r;
        return 0;
    }
    return 0;
}

int vull_get_any_key_down() {
    for (int j = 0; j < VULL_NUM_KEYS; j++)
        if (j != 57 && vullkey[j]) return j; // Caps Lock stays down on its own
    return 0;
}

int vull_keypressed() { return vullkey_buffer_pos > 0; }

int vull_readkey() {
    while (vullkey_buffer_pos <= 0) {
        // No key will ever come once the program is quitting or has no window.
        if (vull_quit || cconfig.headless) return 0;
        vull_handle_messages();
    }
    int key = vullkey_buffer[0];
    vullkey_buffer_pos--;
    memmove(vullkey_buffer, vullkey_buffer + 1, sizeof(int32_t) * size_t(vullkey_buffer_pos));
    return key;
}
