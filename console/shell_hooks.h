// Functions the shell defines and the console runtime calls. console/ never
// includes shell/ headers: the shell implements these at link time.
#pragma once

// Starts the extended-palette glitch the first time a screen palette entry
// with bit 7 is set (frame composition shows it for a moment).
void activate_extpal_glitch();

// Shows text on the status line for ms milliseconds (plus the shell's 400).
void show_message(const char *text, int ms);
