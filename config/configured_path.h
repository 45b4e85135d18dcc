// Paths that configuration files give, held to the one rule of os::ConfinePath before anything
// is read or written through them.
#pragma once

#include <string>
#include <string_view>

// The folder a configured path is relative to, as the log names it.
constexpr const char* kGameFolderName = "game folder";
constexpr const char* kDataFolderName = "data folder";

// The folder of preset files, relative to the data folder.
constexpr const char* kPresetDirectory = "Meshes\\Vultrane\\Presets\\";

// True when `path` (relative to `folder`, a folder below the base) stays below the base.
// Otherwise logs one line naming the path, the file and line it came from and why, and
// returns false: the caller reads and writes nothing through it.
bool AcceptConfiguredPath(std::string_view folder, const std::string& path, const char* baseName,
                          const std::string& file, int line);
