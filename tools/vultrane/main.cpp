// vultrane: the library's own configuration loader, slider list, merge, writers and a small
// renderer, run outside the game for players and mod authors.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/vultrane/commands.h"
#include "vtr_version.h"

#ifdef _WIN32
#include <windows.h>
#endif

// Started in a game folder, the program must not start (and so empty) that game's log.
extern "C" bool vtr_log_no_startup_file;
bool vtr_log_no_startup_file = true;

int main(int argc, char** argv) {
#ifdef _WIN32
    // Reports, paths and race names are UTF-8; a console in another code page would garble them.
    // The console keeps its code page after the program: it gets its own back.
    struct ConsoleCodePage {
        UINT previous = GetConsoleOutputCP();
        ConsoleCodePage() { SetConsoleOutputCP(CP_UTF8); }
        ~ConsoleCodePage() {
            if (previous) SetConsoleOutputCP(previous);
        }
    } consoleCodePage;
#endif
    CLI::App app{"vultrane: face and body sliders for the character-creation menu, outside the game", "vultrane"};
    app.set_version_flag("--version", "vultrane " VTR_VERSION_TEXT);
    app.require_subcommand(1);
    vultrane::Run run;
#ifndef _WIN32
    // The demo loads the plug-in into the simulated game, a library of its own: Linux only.
    vultrane::AddDemoCommand(app, run);
#endif
    vultrane::AddCheckCommand(app, run);
    vultrane::AddSlidersCommand(app, run);
    vultrane::AddTriCommand(app, run);
    vultrane::AddMergeCommand(app, run);
    vultrane::AddSlotCommand(app, run);
    vultrane::AddFormulaCommand(app, run);
    vultrane::AddPreviewCommand(app, run);
    vultrane::AddStudioCommand(app, run);
    if (argc < 2) {  // bare: what it can do
        std::fputs(app.help().c_str(), stdout);
        return 0;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        const std::string hint = vultrane::SubcommandHint(app, argc, argv);
        std::fprintf(stderr, "vultrane: %s\nRun 'vultrane --help' (or 'vultrane COMMAND --help') for usage.\n",
                     hint.empty() ? e.what() : hint.c_str());
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
