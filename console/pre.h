// Console runtime: the source preprocessor, which turns cart code in the
// console's dialect into plain script text line for line, and the include
// flattener, which copies code for compiling and refuses "#include " lines.
#pragma once
#include <cstdint>
#include <string>

// Appends the rewritten source to out; every source line keeps its number.
// Nothing inside a long bracket or comment the VM reads is touched.  Returns
// 0, or 1 after printing why when a line's rewritten text passes 128 KB or
// the whole passes 256 KB (out is then emptied).  The cost is linear in the
// output.
int zibo6_preprocess(const char *source, std::string &out);
// What the last zibo6_preprocess cost: the bytes its rewrites wrote and the
// tokens it read.
uint64_t zibo6_preprocess_work();

// Copies source to out; 0, or 1 after printing "can not #include".
int zibo6_flatten_includes(const char *source, std::string &out);

// The include table (always empty: including files is not available).
int last_included_files();
int included_start(int i);
int included_end(int i);
const char *included_name(int i);

// Remnants of the include machinery; nothing in the player calls them.
// Reads an include line's argument: the trimmed name (at most 255 characters)
// into name_out, a ":N" suffix into tab_out (-1 without one), and the path
// into path_out (Z6_PATH_LEN bytes): a name starting with "/" from the root
// path, any other from the working cart's folder.  0, or 1 when the path
// would not fit.
int get_include_filename(const char *text, char *path_out, int *tab_out, char *name_out);
// The text of code tab `tab` inside a joined code ("\n-->8\n" between tabs)
// and its length; null when the code has no such tab.
const char *find_tab_content(const char *code, int tab, int *length_out);
// The text an include names, with a newline added: the code of a cart in any
// format (only code tab `tab` when tab >= 0; "could not find tab %d" when it
// has none), else the file as plain text (UTF-8, UTF-16 or UTF-32 by its
// byte-order mark). Null when nothing could be read; free with vull_free.
char *load_included_text(const char *path, int tab);
