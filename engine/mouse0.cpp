// The mouse cursor: the engine's own cross-hair bitmap and its hot spot.
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/video.h"

vull_bitmap *vull_mouse_bmp;
vull_bitmap *vull_current_mouse_bmp;
int vull_mouse_focus_x, vull_mouse_focus_y;
int mouse_visible = 1;

vull_bitmap *vull_create_mouse_bmp() {
    vull_bitmap *b = vull_create_bitmap(33, 33, 32);
    if (!b) return nullptr;
    vull_clear_bitmap(b);
    // A white cross with grey centre lines around a clear ring and centre.
    vull_rectfill(b, 15, 8, 17, 24, 0xFFFFFFFFu);
    vull_rectfill(b, 8, 15, 24, 17, 0xFFFFFFFFu);
    vull_rectfill(b, 16, 9, 16, 23, 0xFFA0A0A0u);
    vull_rectfill(b, 9, 16, 23, 16, 0xFFA0A0A0u);
    vull_rectfill(b, 11, 11, 21, 21, 0);
    vull_rectfill(b, 16, 11, 16, 21, 0xFFFFFFFFu);
    vull_rectfill(b, 11, 16, 21, 16, 0xFFFFFFFFu);
    vull_rectfill(b, 14, 14, 18, 18, 0);
    return b;
}

void vull_mouse_init() {
    vull_mouse_exit();
    vull_mouse_bmp = vull_create_mouse_bmp();
    vull_current_mouse_bmp = vull_mouse_bmp;
    vull_mouse_focus_x = vull_mouse_focus_y = 16;
}

void vull_mouse_exit() {
    if (vull_current_mouse_bmp == vull_mouse_bmp) vull_current_mouse_bmp = nullptr;
    vull_destroy_bitmap(vull_mouse_bmp);
    vull_mouse_bmp = nullptr;
}

void vull_set_mouse_bmp(vull_bitmap *bmp) { vull_current_mouse_bmp = bmp; }

void vull_set_mouse_focus(int x, int y) {
    vull_mouse_focus_x = x;
    vull_mouse_focus_y = y;
}

void vull_hide_mouse() { mouse_visible = 0; }
void vull_show_mouse() { mouse_visible = 1; }

void vull_draw_mouse_cursor(vull_bitmap *target) {
    vull_bitmap *c = vull_current_mouse_bmp;
    if (!mouse_visible || !c || !target) return;
    vull_draw_sprite(c, target, 0, 0, vull_last_mouse_x - vull_mouse_focus_x,
                     vull_last_mouse_y - vull_mouse_focus_y, c->width, c->height);
}
