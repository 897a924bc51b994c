// What the console runtime and the cart formats call of the shell (shell/):
// the status message slot of the application record. console/ and cart/ never
// include shell/, so the shell's entry points they need are declared here.
#pragma once

// The status message ends at now + ms + 400 ms.
void show_message(const char *text, int ms);
// The text is printf-formatted with two integers first (256 characters at most).
void show_message_2(const char *format, int ms, int a, int b);
// Title text of the data file's resource pod ("" when it has none).
const char *get_embedded_cart_title();
