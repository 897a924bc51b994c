// Stand-ins for the console runtime's services that the script VM calls and
// that the runtime does not provide yet (code-tab lines and the assert
// message). Tests and tools link them until the terminal module provides the
// real ones; their state is open for tests to set up and inspect.
#pragma once

// Code tabs for find_tab_line: line counts of the 16 tabs; with
// z6_standin_tabs_set 0 (the default) lines map to themselves in tab 0.
extern int z6_standin_tabs_set;
extern int z6_standin_tab_lines[16];

// The stored assert message (zibo6_assert_message).
extern char z6_standin_assert_message[256];
