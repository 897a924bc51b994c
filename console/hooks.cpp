// The table of console/hooks.h. Until zibo6_attach_shell() fills it, each
// entry names the table and the attach call it waits for and ends the program,
// rather than calling through a null pointer.
#include "console/hooks.h"

#include "engine/vull.h"

static constexpr char table[] = "shell_hooks";
static constexpr char shell[] = "zibo6_attach_shell()";

#define UNTIL(entry) .entry = vull_unattached<decltype(zibo6_shell_hooks::entry)>::call<table, shell>

zibo6_shell_hooks shell_hooks = {
    UNTIL(activate_extpal_glitch),
    UNTIL(clear_extpal_glitch),
    UNTIL(update_paused_menu),
    UNTIL(keyconfig_init),
    UNTIL(show_message),
    UNTIL(blit_zibo6_back_page_to_zibo6_screen),
    UNTIL(build_paused_menu),
    UNTIL(zibo6_list_files),
    UNTIL(install_demo_carts),
    UNTIL(install_preloaded_bbs_carts),
};
