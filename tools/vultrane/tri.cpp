// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddTriCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("tri", "(not yet built)");
}
}  // namespace vultrane
