// engine_tool: dispatches to the commands registered by the files beside this one.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/vull.h"
#include "engine_tool.h"

static std::vector<engine_tool_command> &commands() {
    static std::vector<engine_tool_command> table;
    return table;
}

bool engine_tool_register(const engine_tool_command &cmd) {
    commands().push_back(cmd);
    return true;
}

static void usage(FILE *out) {
    std::vector<engine_tool_command> sorted = commands();
    std::sort(sorted.begin(), sorted.end(),
              [](const engine_tool_command &a, const engine_tool_command &b) {
                  return std::strcmp(a.name, b.name) < 0;
              });
    std::fprintf(out, "usage: engine_tool COMMAND [ARGS]\n\ncommands:\n");
    for (const engine_tool_command &c : sorted)
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.args, c.help);
}

int main(int argc, char **argv) {
    vull_engine_attach();
    if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") ||
        !std::strcmp(argv[1], "-h")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const engine_tool_command &c : commands())
        if (!std::strcmp(c.name, argv[1])) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "engine_tool: unknown command \"%s\"\n", argv[1]);
    usage(stderr);
    return 2;
}
