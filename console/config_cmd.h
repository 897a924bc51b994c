// The config command of the console prompt and of one-line "config" carts.
#pragma once

// Shows or changes one setting; text is what follows "config ".
void run_config(const char *text);
