// Stand-ins for the services the cart formats call in subsystems not built
// yet: the console terminal (declared in console/term.h). Each records what it
// was asked so tests can check it, and each lives in an object file of its own,
// so the real function wins the link as soon as it exists; remove each when its
// real piece lands.
#pragma once
#include <string>

// Console terminal (zibo_print, zibo_print_2): every printed line, newest last.
extern std::string z6_standin_terminal;
