// The key configuration screen (one key for each of the 13 bindings, asked
// in turn) and the controls page of the pause menu.
#pragma once
#include <cstdint>

struct vull_bitmap;

struct keyconfig_state {
    int32_t key_index; // binding being asked for, 0..12; 13 when all are done
    int32_t ready;     // 1 once a frame without any held key was seen
};
extern keyconfig_state zkeyconfig;

void keyconfig_init();
void keyconfig_update();
void keyconfig_close();
void keyconfig_keypress(int key);
void keyconfig_draw(vull_bitmap *bmp);
void draw_paused_controls_menu(vull_bitmap *bmp);
void draw_controls_button(vull_bitmap *bmp, int b, int p, int x, int y);
