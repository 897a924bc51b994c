// Stand-ins for the services the cart formats call in subsystems not built
// yet: the shell's status message. Each records what it was asked so tests can
// check it, and each lives in an object file of its own, so the real function
// wins the link as soon as it exists; remove each when its real piece lands.
#pragma once
#include <string>

// Shell status message: the last text shown.
void show_message(const char *text, int ms);
extern std::string z6_standin_message;
