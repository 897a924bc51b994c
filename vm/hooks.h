/*
** What the VM needs from the layers above it, and nothing else: the console
** runtime's services. zibo6_attach_console() fills the table; until then a
** VM alone (z6vm, the VM's tests) runs on the defaults of vm/hooks.cpp,
** given with each entry.
*/
#ifndef Z6_VM_HOOKS_H
#define Z6_VM_HOOKS_H

#include "vm/lua.h"

struct zibo6_vm_services {
    /* 2*max(n,1) cycles, n<0 nothing; alone: charged to the slice alike */
    void (*spend_cpu)(int n);
    /* the console memory map; alone: no memory, every read 0 */
    lua_Number (*zibo6_peek_1)(lua_Number addr); /* byte << 16 */
    lua_Number (*zibo6_peek_2)(lua_Number addr); /* little-endian 16 bits << 16 */
    lua_Number (*zibo6_peek_4)(lua_Number addr); /* raw 32 bits */
    /* line within its code tab; alone: the line itself, tab 0 */
    int (*find_tab_line)(int line, int *tab);
    /* store (or clear) the assert text; alone: not kept */
    void (*zibo6_assert_message)(const char *text);
};
extern zibo6_vm_services zibo6_vm;

#endif
