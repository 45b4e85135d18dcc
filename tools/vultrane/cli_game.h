// The bundled example game folder made ready to run, and checks of the paths a race set
// names before anything is written there.
#pragma once

#include <string>
#include <vector>

namespace vultrane {

// The source folder's examples/, and the build folder.
std::string SourceFolder();
std::string BinaryFolder();

// Copies examples/game into `gameFolder` (created; .log and .tri files of the source are left
// out) and generates the source .tri files that its race sets name, as the build does.
// Returns the files written, relative to `gameFolder`. Throws on failure.
std::vector<std::string> PrepareExampleGame(const std::string& gameFolder);

// A target path of a race set that stays below the folder it is taken relative to, by the
// plug-in's own rule (os::ConfinePath).
bool StaysBelow(const std::string& relativePath);
// When no race set of the loaded configuration lists `race` exactly (as a race name or an
// editor id) but one lists it in another letter case, a note naming that race and its race
// set; the game compares letter case, so the race falls to another set. Empty otherwise.
std::string RaceCaseHint(const std::string& race);

// A library path with slashes.
std::string Slashes(std::string path);

}  // namespace vultrane
