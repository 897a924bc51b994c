// Stand-in status message: the text is kept instead of shown, in the test
// record and in the application record's message line.
#include "tools/standins/cart_standins.h"

#include <cstdio>

#include "console/state.h"

std::string z6_standin_message;

void show_message(const char *text, int) {
    z6_standin_message = text ? text : "";
    std::snprintf(app.message_text, sizeof app.message_text, "%s", z6_standin_message.c_str());
}
