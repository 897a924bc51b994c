// Stand-in: the dormant-token count.
#include "tools/standins/shell_standins.h"

void calculate_dormant_tokens() {}
