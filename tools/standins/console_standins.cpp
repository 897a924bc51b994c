// Stand-ins for the console runtime's services used by the script VM.
#include "tools/standins/console_standins.h"

#include <cstring>

#include "vm/llimits.h"

int z6_standin_tabs_set = 0;
int z6_standin_tab_lines[16];
char z6_standin_assert_message[256];

int find_tab_line(int line, int *tab) {
    if (!z6_standin_tabs_set) {
        if (tab) *tab = 0;
        return line;
    }
    int rest = line - 2;
    for (int i = 0; i < 16; i++) {
        int span = z6_standin_tab_lines[i] + 2;
        if (rest <= span) {
            if (tab) *tab = i;
            return rest;
        }
        rest -= span;
    }
    if (tab) *tab = 0;
    return 0;
}

void zibo6_assert_message(const char *text) {
    z6_standin_assert_message[0] = '\0';
    if (text == nullptr) return;
    std::strncpy(z6_standin_assert_message, text, 254);
    z6_standin_assert_message[254] = '\0';
}
