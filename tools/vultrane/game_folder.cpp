#include "tools/vultrane/game_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "game/sim/sim.h"
#include "os/os.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

// A child of `dir` whose name matches `name` without regard to case (Windows folders are
// case-blind, and mods are written there); empty when none.
fs::path FindChild(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::is_directory(dir / name, ec)) return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (entry.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(entry[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same && it->is_directory(ec)) return it->path();
    }
    return {};
}

bool HasConfigFolder(const fs::path& data) {
    fs::path meshes = FindChild(data, "Meshes");
    return !meshes.empty() && !FindChild(meshes, "Vultrane").empty();
}

std::string Slashes(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

}  // namespace

GameSession::GameSession(const std::string& folder) {
    std::error_code ec;
    if (folder.empty()) throw UsageError("no folder given");
    fs::path given = fs::absolute(fs::path(folder), ec);
    if (ec || !fs::is_directory(given, ec))
        throw UsageError("'" + folder + "' is not a folder");
    given = fs::weakly_canonical(given, ec);

    fs::path gameData = FindChild(given, "data");
    if (HasConfigFolder(given)) {
        dataFolder_ = given.string();
    } else if (!gameData.empty() && HasConfigFolder(gameData)) {
        dataFolder_ = gameData.string();
    } else {
        throw UsageError("'" + folder +
                         "' holds no configuration: expected Meshes/Vultrane/ (a mod's Data folder) or "
                         "data/Meshes/Vultrane/ (a game folder)");
    }

    // The library opens "data\..." below the current folder; a game folder whose data folder
    // is named differently in case still resolves, so only a mod's folder needs a link.
    if (!gameData.empty() && gameData.string() == dataFolder_) {
        gameFolder_ = given.string();
    } else {
        std::string tmpl = (fs::temp_directory_path(ec) / "vultrane-game-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary game folder");
        tempFolder_ = tmpl;
        gameFolder_ = tmpl;
        fs::create_directory_symlink(dataFolder_, fs::path(tempFolder_) / "data", ec);
        if (ec) {
            fs::remove_all(tempFolder_, ec);
            throw std::runtime_error("cannot link the data folder into a temporary game folder");
        }
    }

    previousFolder_ = fs::current_path(ec).string();
    fs::current_path(gameFolder_, ec);
    if (ec) {
        if (!tempFolder_.empty()) fs::remove_all(tempFolder_, ec);
        throw std::runtime_error("cannot enter the game folder " + gameFolder_);
    }
    sim::ResetWorld();
    Config() = Configuration{};
    Log_SetObserver([this](const std::string& line) { logLines_.push_back(line); });
    Log_SetConsoleCopy(false);  // the program prints its own report
    // No log file while the session lives: its lines are kept here, and the file that the
    // library opened at start-up may be a game's own log. The folder named is never made.
    previousLog_ = Log_FilePath();
    Log_Reopen(fs::temp_directory_path(ec).string() + "/vultrane-no-log-" + std::to_string(getpid()) + "/none/Vultrane.log");
}

GameSession::~GameSession() {
    Log_SetObserver(nullptr);
    Log_SetConsoleCopy(true);
    Config() = Configuration{};
    sim::ResetWorld();
    std::error_code ec;
    if (!previousFolder_.empty()) fs::current_path(previousFolder_, ec);
    if (!previousLog_.empty()) Log_Reopen(previousLog_);  // relative to the folder just restored
    // Only the link and the folder made here go; the link's target is never followed.
    if (!tempFolder_.empty()) fs::remove_all(tempFolder_, ec);
}

PlayerCharacter* GameSession::SetPlayer(const std::string& race, int sex) {
    TESNPC* npc = sim::AddNpc(static_cast<int8_t>(sex));
    return sim::CreatePlayer(&npc->form, sim::AddRace(race, race));
}

void GameSession::LoadConfiguration() { ::LoadConfiguration(kConfigDirectory); }

std::string GameSession::RealPath(const std::string& libraryPath) const {
    std::string p = Slashes(libraryPath);
    while (p.size() > 1 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
    std::string lower;
    for (char c : p) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    std::string rel;
    if (lower.rfind("data/", 0) == 0)
        rel = p.substr(5);
    else
        rel = "Meshes/Vultrane/" + p;
    // Resolve below the data folder itself, so the answer names the real folder, not the link.
    std::string resolved = os::ResolvePath(dataFolder_ + "/" + rel);
    return resolved.empty() ? dataFolder_ + "/" + rel : resolved;
}

}  // namespace vultrane
