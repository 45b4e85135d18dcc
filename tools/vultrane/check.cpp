// vultrane check DATA_FOLDER [--json]
#include <iostream>
#include <memory>

#include "tools/vultrane/check_run.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

void AddCheckCommand(CLI::App& app, Run& run) {
    struct Options {
        std::string folder;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("check", "Report every problem of a mod's configuration as path:line: error|warning: message");
    cmd->footer(
        "Loads the configuration as the game does. Besides the game's own complaints: race-set files no race\n"
        "names, missing or unreadable source .tri files and sources of different vertex counts, slider morphs\n"
        "found in no source, missing presets, formulas that fail anywhere in the slider's range, vertex edits\n"
        "past the model's vertices and uniqueIDs used twice.\n"
        "Exit status 1 when the game would reject or ignore something, 0 otherwise, 2 for bad arguments.");
    cmd->add_option("DATA_FOLDER", options->folder,
                    "a mod's Data folder (holding Meshes/Vultrane/) or a game folder (holding data/Meshes/Vultrane/)")
        ->required();
    cmd->add_flag("--json", options->json, "print the report as one JSON document");
    cmd->callback([options, &run]() {
        CheckReport report = CheckDataFolder(options->folder);
        PrintCheckReport(report, options->json, std::cout);
        run.exitCode = report.Errors() > 0 ? 1 : 0;
    });
}

}  // namespace vultrane
