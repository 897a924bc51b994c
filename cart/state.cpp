// The console's global state records (zero-filled at start-up by static storage).
#include "cart/state.h"
#include "cart/hooks.h"

console_state pstate;
app_state app;
cart_item pitem;
int32_t cart_item_count;

// Filled by the layers above at start-up (cart/hooks.h).
zibo6_cart_hooks cart_hooks;
