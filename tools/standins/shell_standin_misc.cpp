// Stand-ins: cart data saving, dormant tokens, the code tabs' punycode flag,
// the print context and the serial audio hook.
#include "tools/standins/shell_standins.h"

int save_cdata() { return 0; }
void calculate_dormant_tokens() {}
void update_punycode_encoding() {}
void init_print_context() {}
void install_post_mix_hook() {}
