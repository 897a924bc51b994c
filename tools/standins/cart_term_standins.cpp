// Stand-in terminal: lines are collected instead of drawn.
#include "console/term.h"
#include "tools/standins/cart_standins.h"

#include <cstdio>

std::string z6_standin_terminal;

void zibo_print(const char *text) {
    z6_standin_terminal += text ? text : "";
    z6_standin_terminal += '\n';
}

void zibo_print_2(const char *format, int a, int b) {
    char line[256];
    std::snprintf(line, sizeof line, format, a, b);
    zibo_print(line);
}

// zibo_print_col: the colour is dropped (the preprocessor's include refusal).
void zibo_print_col(const char *text, int) { zibo_print(text); }
