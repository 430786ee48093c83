// kestrion-tool: perft, bench, evaluation and the book and database builders.
#include <cstdio>
#include <cstring>

#include "command.h"

namespace tools {
namespace {
ToolCommand Commands[32];
int CommandCount = 0;
}  // namespace

bool RegisterTool(const ToolCommand& command) {
    if (CommandCount < 32) Commands[CommandCount++] = command;
    return true;
}

}  // namespace tools

int main(int argc, char** argv) {
    if (argc >= 2) {
        for (int i = 0; i < tools::CommandCount; i++)
            if (std::strcmp(argv[1], tools::Commands[i].name) == 0)
                return tools::Commands[i].run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "usage: kestrion-tool COMMAND ...\n");
    for (int i = 0; i < tools::CommandCount; i++)
        std::fprintf(stderr, "  %s\n", tools::Commands[i].usage);
    return 2;
}
