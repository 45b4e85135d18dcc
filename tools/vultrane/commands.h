// The subcommands of the vultrane program. Each Add* function registers one subcommand on the
// app; its callback does the work and leaves its exit status in `run`.
#pragma once

#include <CLI/CLI.hpp>

namespace vultrane {

// Exit status: 0 done and nothing wrong, 1 the work failed or found problems the game would
// reject or ignore, 2 bad arguments.
struct Run {
    int exitCode = 0;
};

void AddDemoCommand(CLI::App& app, Run& run);     // demo.cpp
void AddCheckCommand(CLI::App& app, Run& run);    // check.cpp
void AddSlidersCommand(CLI::App& app, Run& run);  // sliders.cpp
void AddTriCommand(CLI::App& app, Run& run);      // tri.cpp
void AddMergeCommand(CLI::App& app, Run& run);    // merge.cpp
void AddSlotCommand(CLI::App& app, Run& run);     // slot.cpp
void AddFormulaCommand(CLI::App& app, Run& run);  // formula.cpp
void AddPreviewCommand(CLI::App& app, Run& run);  // preview.cpp
void AddStudioCommand(CLI::App& app, Run& run);   // studio_server.cpp

// For a word where a command was expected that is none: what it is not and the command it most
// likely meant ("'chek' is not a command of vultrane; did you mean check?"). Empty otherwise.
std::string SubcommandHint(const CLI::App& app, int argc, const char* const* argv);  // cli_hints.cpp

// A failure of the user's arguments found after parsing (a folder that does not exist, say):
// main prints the message and exits with status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace vultrane
