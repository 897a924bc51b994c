// Modal one-line text input. Kept apart from text drawing because it pulls in
// the event pump, the typed-key queue and the presentation.
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/text.h"
#include "engine/vull.h"
#include "platform/video.h"

static int item_size(cpod *font, int index, bool height, int fallback) {
    auto *g = static_cast<const vull_bitmap *>(cpod_get_item(font, index, CPOD_BITMAP));
    return g ? (height ? g->height : g->width) : fallback;
}

int vull_get_keyboard_string_ex(char *buffer, int x, int y, cpod *font, int max_len, int width) {
    if (!buffer || max_len < 1 || !font || width < 1) return 0;
    const int h = item_size(font, 45, true, 5) + 2;
    const int limit = width - item_size(font, 95, false, 5);
    vull_bitmap *scratch = vull_create_bitmap(width, h, vull_screen->bpp);
    vull_bitmap *background = vull_create_bitmap(width, h, vull_screen->bpp);
    if (!scratch || !background) {
        vull_destroy_bitmap(scratch);
        vull_destroy_bitmap(background);
        return 0;
    }
    // The page under the field is kept clean so that erased characters vanish.
    if (vull_back_page) vull_blit(vull_back_page, background, x, y, 0, 0, width, h);
    buffer[0] = 0;
    std::vector<char> line(size_t(max_len) + 2, 0);
    int result = 0;
    while (!vull_quit) {
        vull_blit(background, scratch, 0, 0, 0, 0, width, h);
        std::snprintf(line.data(), line.size(), "%s\x7f", buffer);
        vull_draw_text(scratch, line.data(), font, 0, 1);
        if (vull_back_page) {
            vull_blit(scratch, vull_back_page, 0, 0, x, y, width, h);
            vull_blit_back_page();
        }
        vull_handle_messages();
        if (vull_quit || !vull_keypressed()) continue;
        const int key = vull_readkey();
        if (key == 13) {
            result = 1;
            break;
        }
        const size_t len = std::strlen(buffer);
        if (key == 8) {
            if (len > 0) buffer[len - 1] = 0;
        } else if (key > 0 && key < 256) {
            std::vector<char> before(buffer, buffer + len + 1);
            // At the limit the last character is replaced.
            if (len + 1 < size_t(max_len)) {
                buffer[len] = char(key);
                buffer[len + 1] = 0;
            } else if (len > 0) {
                buffer[len - 1] = char(key);
            }
            if (vull_get_text_width(buffer, font) >= limit)
                std::memcpy(buffer, before.data(), before.size());
        }
    }
    if (vull_back_page) vull_blit(background, vull_back_page, 0, 0, x, y, width, h);
    vull_destroy_bitmap(scratch);
    vull_destroy_bitmap(background);
    return result;
}

int vull_get_keyboard_string(char *buffer, int x, int y, cpod *font, int max_len) {
    return vull_get_keyboard_string_ex(buffer, x, y, font, max_len, vull_screen->width);
}
