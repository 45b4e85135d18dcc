// Placeholder until the subcommand is written.
#include "tools/vultrane/commands.h"

namespace vultrane {
void AddFormulaCommand(CLI::App& app, Run& run) {
    (void)run;
    app.add_subcommand("formula", "(not yet built)");
}
}  // namespace vultrane
