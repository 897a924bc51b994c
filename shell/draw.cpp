// The per-host-frame draw. Until frame composition exists this shows the
// current draw surface on the back page as it is (its pixels are palette
// indices), centred when the page is larger than the console screen.
#include <cstring>

#include "console/state.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/video.h"

void vull_main_draw() {
    vull_bitmap *page = vull_back_page;
    const vull_bitmap *src = pstate.draw_surface;
    // While the runtime waits for an action to be carried out there is nothing to show.
    if (!page || !src || pstate.pending_action) return;
    vull_blit(src, page, 0, 0, (page->width - src->width) / 2, (page->height - src->height) / 2,
              src->width, src->height);
}
