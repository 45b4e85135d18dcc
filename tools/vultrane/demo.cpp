// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddDemoCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("demo", "(not yet built)");
}
}  // namespace vultrane
