// Stand-ins: the cart browser and board downloads have nothing to do.
#include "tools/standins/shell_standins.h"

void browse_update() {}
void update_browse_download() {}
