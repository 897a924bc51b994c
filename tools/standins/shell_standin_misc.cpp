// Stand-ins: cart data saving, dormant tokens,
// nothing more.
#include "tools/standins/shell_standins.h"

int save_cdata() { return 0; }
void calculate_dormant_tokens() {}
