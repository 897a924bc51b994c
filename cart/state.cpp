// The console's global state records (zero-filled at start-up by static storage).
#include "cart/state.h"

console_state pstate;
app_state app;
cart_item pitem;
int32_t cart_item_count;
