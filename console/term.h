// Terminal output, error reports and the run chain.  Terminal lines go to the
// console screen at the print cursor, or to standard output in a headless
// (-x) run while the machine is stopped; error lines are also collected in
// zrun.last_error_text so that the shell can show them again.
#pragma once
#include <string>

#include "vm/lua.h"

constexpr int Z6_RUN_CHAIN_MAX = 511;

// ---- printing ----
void zibo_print_col(const char *text, int colour);
void zibo_print(const char *text); // colour 6
void zibo_print_2(const char *format, int a, int b);
void zibo_print_2_col(const char *format, int a, int b, int colour);
void error_zibo_print_col(const char *text, int colour); // also appended to last_error_text

// ---- errors ----
// Raises a script error with the text, naming the line of the calling Lua
// frame; returns 0 without raising while the reset glitch runs.
int zibo6_runtime_error(lua_State *L, const char *text);
// The line of the innermost frame of the cart's own code on L's stack (0: none).
int zibo6_error_line(lua_State *L);
void report_syntax_error(const char *message, const char *cart_text, int command);
void report_runtime_error(lua_State *L, const char *message);
const char *extract_syntax_error(const char *message, int with_position);
// Prints what a runtime error's message says; true when that showed the
// stored assert message.
bool extract_runtime_error(const char *message);
void print_traceback(lua_State *L);
// An error object as text, read without converting it in place (a number's
// conversion allocates, which a failed thread cannot survive); "" for others.
std::string error_object_text(lua_State *L, int index);
const char *get_nth_line_ex(const char *text, int n, int flatten);
const char *get_nth_line(const char *text, int n);
const char *get_nth_line_raw(const char *text, int n);
void navigate_to_error_line(int line, int tab);
// The VM's services (it calls them through zibo6_vm): the line within its code
// tab of a line of the joined program, and the assert text kept for the report.
int find_tab_line(int line, int *tab);
void zibo6_assert_message(const char *text);

// ---- run chain ----
// 1 pushed; 0 when the chain is full or the file's path does not fit (said on the terminal).
int add_run_chain_item(const char *file, const char *label, int pending);
void reset_run_chain(); // also clears devkit_notice_flag
int pop_run_chain();
int run_chain_count();
const char *get_run_chain_label();
const char *get_run_chain_filename();
const char *get_run_chain_param_str();
void run_chain_cancel_pending();
void run_chain_confirm_pending();
void follow_current_breadcrumb();
// Set once the devkit keyboard or mouse notice showed for the running cart.
extern int devkit_notice_flag;
