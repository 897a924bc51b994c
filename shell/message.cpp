// The status message slot: one text with its start and end time, shown by the
// frame composition until the end time passes.
#include <cstdio>

#include "cart/state.h"
#include "platform/system.h"
#include "shell/zibo6.h"

namespace {

constexpr int MESSAGE_COLOUR = 15;
constexpr int MESSAGE_TAIL_MS = 400; // messages of the runtime stay a little longer

int now_ms() { return vull_get_time(); }

void set_message(const char *text, int end) {
    snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    app.message_start = now_ms();
    app.message_end = end;
    app.message_colour = MESSAGE_COLOUR;
}

} // namespace

void show_message_at_most(const char *text, int ms) {
    set_message(text, vull_ms_later(now_ms(), ms));
}

void show_message(const char *text, int ms) {
    set_message(text, vull_ms_later(now_ms(), ms + MESSAGE_TAIL_MS));
}

void show_message_2(const char *format, int ms, int a, int b) {
    char text[256];
    snprintf(text, sizeof text, format ? format : "", a, b);
    show_message(text, ms);
}

int show_message_ex(const char *text, int ms) {
    show_message(text, ms);
    return app.message_end;
}

void show_message_2_ex(const char *format, int ms, int a, int b, int) {
    show_message_2(format, ms, a, b);
}

void show_message_hover(const char *format, int a, int b) {
    if (app.message_end && vull_ms_between(now_ms(), app.message_end) > 10) return;
    snprintf(app.hover_text, sizeof app.hover_text, format ? format : "", a, b);
}
