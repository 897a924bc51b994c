// Stand-ins: the pause menu never opens; key configuration and the ls listing
// have nothing to do.
#include "tools/standins/shell_standins.h"

void update_paused_menu() {}
void process_paused_keypresses() {}
void keyconfig_update() {}
void keyconfig_close() {}
void zibo6_list_files() {}
