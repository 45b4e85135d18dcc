// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddMergeCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("merge", "(not yet built)");
}
}  // namespace vultrane
