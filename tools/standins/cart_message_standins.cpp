// Stand-in status message: the text is kept instead of shown.
#include "tools/standins/cart_standins.h"

std::string z6_standin_message;

void show_message(const char *text, int) { z6_standin_message = text ? text : ""; }
