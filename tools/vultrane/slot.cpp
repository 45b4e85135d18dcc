// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddSlotCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("slot", "(not yet built)");
}
}  // namespace vultrane
