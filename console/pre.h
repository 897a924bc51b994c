// Console runtime: the source preprocessor, which turns cart code in the
// console's dialect into plain script text line for line, and the include
// flattener, which copies code for compiling and refuses "#include " lines.
#pragma once
#include <string>

// Appends the rewritten source to out; every source line keeps its number.
// The output grows as it must: the caller bounds the compiled program.
void zibo6_preprocess(const char *source, std::string &out);

// Copies source to out; 0, or 1 after printing "can not #include".
int zibo6_flatten_includes(const char *source, std::string &out);

// The include table (always empty: including files is not available).
int last_included_files();
int included_start(int i);
int included_end(int i);
const char *included_name(int i);
