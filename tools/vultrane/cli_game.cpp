#include "tools/vultrane/cli_game.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "config/text.h"
#include "os/os.h"
#include "tools/trigen/plan.h"
#include "tools/vultrane/cli_common.h"

#ifndef VTR_SOURCE_DIR
#define VTR_SOURCE_DIR "."
#endif
#ifndef VTR_BINARY_DIR
#define VTR_BINARY_DIR "."
#endif

namespace vultrane {

namespace fs = std::filesystem;

std::string SourceFolder() { return VTR_SOURCE_DIR; }
std::string BinaryFolder() { return VTR_BINARY_DIR; }

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool StaysBelow(const std::string& relativePath) {
    // The plug-in's own rule for merge targets.
    return os::ConfinePath("", relativePath, "output folder").ok;
}

std::string RaceCaseHint(const std::string& race) {
    const std::string lower = ToLower(race);
    for (const RaceSetting& set : Config().raceSettings)
        for (const auto* list : {&set.raceNames, &set.raceEditorIds})
            for (const std::string& name : *list)
                if (name == race) return {};
    for (const RaceSetting& set : Config().raceSettings)
        for (const auto* list : {&set.raceNames, &set.raceEditorIds})
            for (const std::string& name : *list)
                if (ToLower(name) == lower)
                    return "race '" + race + "' is listed only as '" + name + "' (race set " + set.raceSetName +
                           "); the game compares letter case, so this race is served as an unlisted one (use --race " +
                           name + ")";
    return {};
}

std::vector<std::string> PrepareExampleGame(const std::string& gameFolder) {
    const fs::path from = fs::path(SourceFolder()) / "examples" / "game";
    const fs::path to = fs::absolute(gameFolder);
    fs::create_directories(to);
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        const fs::path rel = fs::relative(entry.path(), from);
        if (entry.is_directory()) {
            fs::create_directories(to / rel);
            continue;
        }
        const std::string ext = entry.path().extension().string();
        // Logs and morph files left in the source folder by earlier runs are not part of it.
        if (ext == ".tri" || ext.rfind(".log", 0) == 0) continue;
        fs::copy_file(entry.path(), to / rel, fs::copy_options::overwrite_existing);
        written.push_back(rel.string());
    }

    // The race sets are read by the library itself, from the new game folder.
    const fs::path previous = fs::current_path();
    fs::current_path(to);
    std::string failure;
    std::vector<std::string> log = CaptureLog([&] {
        Config() = Configuration{};
        LoadConfiguration(kConfigDirectory);
        const trigen::Plan plan = trigen::MakePlan(Config());
        if (!plan.errors.empty()) failure = plan.errors.front();
        for (const std::string& folder : trigen::TargetFolders(Config()))
            if (failure.empty() && !os::CreateFolder(folder)) failure = "cannot create the folder " + folder;
        for (const trigen::SourceFile& f : plan.files) {
            if (!failure.empty()) break;
            std::string error;
            const TriFile tri = trigen::BuildTriFile(f, error);
            if (!error.empty()) {
                failure = error;
                break;
            }
            if (!WriteFileReplacing(os::ResolvePath(f.path), SerializeTri(tri), error))
                failure = "cannot write " + f.path + ": " + error;
            else written.push_back(Slashes(f.path));
        }
        Config() = Configuration{};
    });
    fs::current_path(previous);
    if (!failure.empty()) throw std::runtime_error("the example game folder: " + failure);
    return written;
}

}  // namespace vultrane
