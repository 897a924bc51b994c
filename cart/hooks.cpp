// The table of cart/hooks.h, empty until zibo6_attach_console() and
// zibo6_attach_shell() fill it.
#include "cart/hooks.h"

zibo6_cart_hooks cart_hooks;
