// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddCheckCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("check", "(not yet built)");
}
}  // namespace vultrane
