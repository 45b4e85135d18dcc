// vultrane: the library's own configuration loader, slider list, merge, writers and a small
// renderer, run outside the game for players and mod authors.
#include <cstdio>
#include <exception>

#include "tools/vultrane/commands.h"

// Started in a game folder, the program must not start (and so empty) that game's log.
extern "C" bool vtr_log_no_startup_file;
bool vtr_log_no_startup_file = true;

int main(int argc, char** argv) {
    CLI::App app{"vultrane: face and body sliders for the character-creation menu, outside the game"};
    app.require_subcommand(1);
    vultrane::Run run;
    vultrane::AddDemoCommand(app, run);
    vultrane::AddCheckCommand(app, run);
    vultrane::AddSlidersCommand(app, run);
    vultrane::AddTriCommand(app, run);
    vultrane::AddMergeCommand(app, run);
    vultrane::AddSlotCommand(app, run);
    vultrane::AddFormulaCommand(app, run);
    vultrane::AddPreviewCommand(app, run);
    vultrane::AddStudioCommand(app, run);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vultrane: %s\nRun 'vultrane --help' (or 'vultrane COMMAND --help') for usage.\n", e.what());
        return 2;
    } catch (const vultrane::UsageError& e) {
        std::fprintf(stderr, "vultrane: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vultrane: error: %s\n", e.what());
        return 1;
    }
    return run.exitCode;
}
