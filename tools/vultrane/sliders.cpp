// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddSlidersCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("sliders", "(not yet built)");
}
}  // namespace vultrane
