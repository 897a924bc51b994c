// Stand-in buttons: nothing is ever held or pressed.
#include "tools/standins/shell_standins.h"

void update_buttons() {}
void read_buttons() {}
void block_buttons() {}
int button_pressed(int, int) { return 0; }
