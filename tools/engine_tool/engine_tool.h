// Command table of engine_tool. Each command lives in its own source file and
// registers itself from a static initialiser:
//
//   static int run_thing(int argc, char **argv);
//   static const bool thing_registered =
//       engine_tool_register({"thing", "FILE", "does the thing", run_thing});
//
// run() gets argv[0] = the command name and returns the process status.
#pragma once

struct engine_tool_command {
    const char *name; // word on the command line
    const char *args; // argument synopsis for the usage text
    const char *help; // one line of description
    int (*run)(int argc, char **argv);
};

bool engine_tool_register(const engine_tool_command &cmd);
