// GUI elements: up to 1024 rectangles with handlers, hit-tested against the
// mouse once a frame. Elements live in a pea pod, so their used list gives the
// stacking order (later entries lie on top).
#include <cstring>

#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/system.h"

cpod *vull_gui;

// Click memory, in the event pump's milliseconds. "Never" lies far enough in
// the past that no first press can look like the second of a double click.
constexpr int64_t NEVER = -1000000;
static int64_t last_press_t = NEVER, last_release_t = NEVER, last_double_t = NEVER;
static int last_press_x, last_press_y, last_release_x, last_release_y;
static int lmb;      // buttons of the previous pass (an injected click may replace them)
static int lmb_drop; // buttons of the previous pass, for drops

static vull_gui_element *element_in_use(int slot) {
    if (!vull_gui || slot < 0 || slot >= vull_gui->capacity ||
        vull_gui->position[slot] >= vull_gui->count)
        return nullptr;
    return static_cast<vull_gui_element *>(vull_gui->items[slot]);
}

// Element at index i of the used list.
static vull_gui_element *used_element(int i) {
    return static_cast<vull_gui_element *>(vull_gui->items[vull_gui->used[i]]);
}

static void send(vull_gui_element *e, int message, int x, int y, int buttons) {
    if (e->handler) e->handler(e, x, y, buttons, message);
}

static bool contains(const vull_gui_element *e, int x, int y) {
    return x >= e->x && x < int64_t(e->x) + e->width && y >= e->y && y < int64_t(e->y) + e->height;
}

// Squared double-click radius: (target width / 64)^2; no target, no radius.
static int64_t radius2(const vull_gui_element *e) {
    if (!e->target) return 0;
    int64_t r = e->target->width / 64;
    return r * r;
}

static int64_t dist2(int x0, int y0, int x1, int y1) {
    int64_t dx = int64_t(x0) - x1, dy = int64_t(y0) - y1;
    return dx * dx + dy * dy;
}

void vull_gui_init() {
    if (!vull_gui) vull_gui = vull_create_pea_pod(VULL_GUI_ELEMENTS, sizeof(vull_gui_element));
}

void vull_gui_exit() {
    vull_destroy_pod(vull_gui);
    vull_gui = nullptr;
}

int vull_add_guie(vull_bitmap *target, int x, int y, int width, int height, uint32_t type,
                  vull_gui_handler handler) {
    if (!vull_gui) return -1;
    int slot = cpod_get_free_item(vull_gui);
    if (slot < 0) return -1;
    auto *e = static_cast<vull_gui_element *>(vull_gui->items[slot]);
    memset(e, 0, sizeof *e);
    e->type = type;
    e->x = x;
    e->y = y;
    e->width = width;
    e->height = height;
    e->target = target;
    e->handler = handler;
    return slot;
}

void vull_delete_guie(int slot) {
    if (element_in_use(slot)) cpod_delete_item_soft(vull_gui, slot);
}

void vull_process_gui() {
    if (!vull_gui || vull_gui->count == 0) return;
    int mx, my, b;
    vull_get_mouse(&mx, &my, &b);
    vull_lock_audio();
    int64_t now = int64_t(vull_pump_time());

    // The last element under the pointer wins, unless an elevated one was found first.
    vull_gui_element *hit = nullptr;
    for (int i = 0; i < vull_gui->count; i++) {
        vull_gui_element *e = used_element(i);
        if (contains(e, mx, my) && !(hit && (hit->flags & VULL_GUIF_ELEVATED))) hit = e;
    }

    for (int i = vull_gui->count - 1; i >= 0; i--) {
        if (i >= vull_gui->count) continue; // a handler deleted elements
        vull_gui_element *e = used_element(i);
        if (e != hit) {
            e->flags &= ~VULL_GUIF_ELEVATED;
            if (e->flags & VULL_GUIF_HOVER) {
                e->flags &= ~VULL_GUIF_HOVER;
                send(e, VULL_GUIM_LEAVE, mx, my, b);
            }
            continue;
        }
        if (!b && !(e->flags & VULL_GUIF_PRESSED)) send(e, VULL_GUIM_OVER, mx, my, b);
        if (b && !lmb && !(e->flags & VULL_GUIF_PRESSED)) {
            e->flags |= VULL_GUIF_PRESSED;
            send(e, VULL_GUIM_PRESS, mx, my, b);
            int64_t d = dist2(mx, my, last_press_x, last_press_y), r2 = radius2(e);
            if (now - last_double_t < 400 && d < r2) send(e, VULL_GUIM_DOUBLE_PRESS, mx, my, b);
            if (now - last_press_t < 400 && d < r2) {
                send(e, VULL_GUIM_DOUBLE_CLICK, mx, my, b);
                last_double_t = now;
            }
            last_press_t = now;
            last_press_x = mx;
            last_press_y = my;
        }
        if (!(e->flags & VULL_GUIF_HOVER)) {
            e->flags |= VULL_GUIF_HOVER;
            send(e, VULL_GUIM_ENTER, mx, my, b);
        }
        if (vull_state.wheel_x2 || vull_state.wheel_y2) {
            send(e, VULL_GUIM_WHEEL, vull_state.wheel_x2, vull_state.wheel_y2, b);
            vull_state.wheel_x2 = vull_state.wheel_y2 = 0;
        }
    }

    int injected = vull_state.click_button;
    bool injected_fresh =
        injected && uint32_t(uint32_t(now) - uint32_t(vull_state.click_time)) <= 499;
    for (int i = 0; i < vull_gui->count; i++) {
        vull_gui_element *e = used_element(i);
        bool clicked = false;
        if ((e->flags & VULL_GUIF_PRESSED) && !b) {
            e->flags &= ~VULL_GUIF_PRESSED;
            send(e, VULL_GUIM_RELEASE, mx, my, 0);
            if (now - last_press_t <= 399 && dist2(mx, my, last_press_x, last_press_y) <= 399) {
                send(e, VULL_GUIM_CLICK, mx, my, 0);
                clicked = true;
            }
        }
        if (injected_fresh && (e->flags & VULL_GUIF_HOVER)) {
            lmb = injected;
            send(e, VULL_GUIM_CLICK, mx, my, injected);
            clicked = true;
        }
        if (i >= vull_gui->count) break; // a handler deleted elements
        if (clicked) {
            if (now - last_release_t <= 399 && dist2(mx, my, last_release_x, last_release_y) <= 399)
                send(e, VULL_GUIM_DOUBLE_RELEASE, mx, my, 0);
            last_release_t = now;
            last_release_x = mx;
            last_release_y = my;
        }
        if ((e->flags & VULL_GUIF_PRESSED) && b) send(e, VULL_GUIM_DRAG, mx, my, b);
        if ((e->flags & VULL_GUIF_HOVER) && !b && lmb_drop) send(e, VULL_GUIM_DROP, mx, my, b);
    }

    vull_state.click_button = 0;
    lmb = lmb_drop = b;
    vull_unlock_audio();
}

void vull_gui_broadcast(int message, uint32_t type) {
    if (!vull_gui) return;
    int mx, my, b;
    vull_get_mouse(&mx, &my, &b);
    for (int i = 0; i < vull_gui->count; i++) {
        vull_gui_element *e = used_element(i);
        if (type == 0 || e->type == type) send(e, message, mx, my, b);
    }
}

void vull_gui_message(int slot, int message) {
    int mx, my, b;
    vull_get_mouse(&mx, &my, &b);
    vull_gui_message_ex(slot, message, mx, my, b);
}

void vull_gui_message_ex(int slot, int message, int x, int y, int buttons) {
    if (vull_gui_element *e = element_in_use(slot)) send(e, message, x, y, buttons);
}

void vull_gui_key_event(int key) {
    if (!vull_gui) return;
    for (int i = 0; i < vull_gui->count; i++) {
        vull_gui_element *e = used_element(i);
        if (e->type == 7 || (e->type == 4 && (e->flags & VULL_GUIF_FOCUS)))
            send(e, VULL_GUIM_KEY, key, 0, 0);
    }
}

void vull_gui_set_keyboard_focus(vull_gui_element *focus) {
    if (!vull_gui) return;
    for (int i = 0; i < vull_gui->count; i++) {
        vull_gui_element *e = used_element(i);
        if (e == focus)
            e->flags |= VULL_GUIF_FOCUS;
        else
            e->flags &= ~VULL_GUIF_FOCUS;
    }
}

vull_gui_element *vull_gui_get_keyboard_focus() {
    if (!vull_gui) return nullptr;
    for (int i = 0; i < vull_gui->count; i++)
        if (used_element(i)->flags & VULL_GUIF_FOCUS) return used_element(i);
    return nullptr;
}

void vull_gui_elevate_element(vull_gui_element *e) {
    if (e) e->flags |= VULL_GUIF_ELEVATED;
}

void vull_gui_clear() {
    if (vull_gui) cpod_clear(vull_gui);
    lmb = 1;
    lmb_drop = 0;
}

vull_gui_element *vull_get_gui_element(int slot) {
    if (!vull_gui || slot < 0 || slot >= VULL_GUI_ELEMENTS || slot >= vull_gui->capacity)
        return nullptr;
    return static_cast<vull_gui_element *>(vull_gui->items[slot]);
}

int vull_gui_num_elements() { return vull_gui ? vull_gui->count : 0; }

int vull_gui_cursor_element() {
    for (int s = VULL_GUI_ELEMENTS - 1; s >= 0; s--) {
        vull_gui_element *e = element_in_use(s);
        if (e && (e->flags & VULL_GUIF_HOVER)) return s;
    }
    return -1;
}
