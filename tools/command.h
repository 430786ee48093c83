// Subcommands of kestrion-tool register themselves here, one file each.
#pragma once

namespace tools {

// argv[0] is the subcommand's name. Returns the process status.
using ToolMain = int (*)(int argc, char** argv);

struct ToolCommand {
    const char* name;
    const char* usage;
    ToolMain run;
};

bool RegisterTool(const ToolCommand& command);

// Sets up the engine's tables the way the engine does at start-up (no hash
// sizing, no speed calibration, no learning file). Returns 0 on success.
int InitEngineTables();

// Hands one command to the engine's interpreter, as the host would send it.
void SendCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tools

#define KESTRION_TOOL(ident, name, usage, fn) \
    static const bool ident##Registered = tools::RegisterTool({name, usage, fn})
