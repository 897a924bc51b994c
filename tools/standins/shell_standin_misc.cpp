// Stand-ins: cart data saving, dormant tokens,
// the print context and the serial audio hook.
#include "tools/standins/shell_standins.h"

int save_cdata() { return 0; }
void calculate_dormant_tokens() {}
void init_print_context() {}
void install_post_mix_hook() {}
