// z6cart's code commands, given a loaded cart's code.
#pragma once

// Prints the code's token count and character count against the cart limits; 0.
int z6cart_tokens(const char *code);
// Prints the code as the compiler gets it (UTF-8); 0, or 1 for an "#include " line.
int z6cart_preprocess(const char *code);
