// The table of console/hooks.h, empty until zibo6_attach_shell() fills it.
#include "console/hooks.h"

zibo6_shell_hooks shell_hooks;
