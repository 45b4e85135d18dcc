// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddPreviewCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("preview", "(not yet built)");
}
}  // namespace vultrane
