// What the console runtime needs from the layer above it, and nothing else:
// the shell's status message, extended-palette glitch, pause menu, key
// configuration screen, extcmd page copy, ls listing and installers.
// zibo6_attach_shell() fills every entry; console/ never names the shell. The
// table has no working defaults: until attached, an entry says on standard
// error that zibo6_attach_shell() was not called and ends the program with
// status 1, so a program that runs carts links the shell and attaches it (the
// cart and console tests too). Its object lives in
// console/hooks.cpp.
#pragma once

struct zibo6_shell_hooks {
    // starts the extended-palette glitch the first time a screen palette entry
    // with bit 7 is set; a cart from the board cache starts without one
    void (*activate_extpal_glitch)();
    void (*clear_extpal_glitch)();
    void (*update_paused_menu)(); // the pause check of every cart frame end
    void (*keyconfig_init)();     // the key configuration screen (keyconfig command)
    void (*show_message)(const char *text, int ms); // ends at now + ms + 400 ms
    // extcmd: the displayed page to the console screen and the pause menu's items
    void (*blit_zibo6_back_page_to_zibo6_screen)(int display);
    void (*build_paused_menu)();
    void (*zibo6_list_files)(); // one ls entry per call while pstate.ls_lines is above 0
    // copy the data file's demo carts and preloaded board carts to the cart folder
    void (*install_demo_carts)();
    void (*install_preloaded_bbs_carts)();
};
extern zibo6_shell_hooks shell_hooks;
