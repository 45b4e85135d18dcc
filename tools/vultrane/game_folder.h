// A game folder for running the library outside the game: a mod's Data folder or a whole game
// folder made the current folder, a fresh simulated world and configuration, and the library's
// log lines kept instead of printed.
#pragma once

#include <string>
#include <vector>

#include "game/engine.h"

namespace vultrane {

// The game as the library sees it, run outside the game on a mod's or the game's data folder.
class GameSession {
public:
    // `folder`: a folder holding Meshes/Vultrane/ (a mod's Data layout) or data/Meshes/Vultrane/
    // (a game folder). Throws UsageError when neither exists. Makes a game folder whose `data`
    // is that folder current (a temporary folder with a link when needed), resets the simulated
    // world and the library's configuration, and captures every log line.
    explicit GameSession(const std::string& folder);
    ~GameSession();  // restores the current folder, clears the configuration
    GameSession(const GameSession&) = delete;
    GameSession& operator=(const GameSession&) = delete;

    const std::string& DataFolder() const { return dataFolder_; }  // absolute, the folder playing the game's Data
    const std::string& GameFolder() const { return gameFolder_; }  // absolute, the current folder while this lives
    // A simulated player of the race (editor id and display name `race`) and sex (0 male, 1 female).
    PlayerCharacter* SetPlayer(const std::string& race, int sex);
    void LoadConfiguration();  // as the game does at the menu's first call
    const std::vector<std::string>& LogLines() const { return logLines_; }
    void ClearLog() { logLines_.clear(); }
    // A path as the library names it ("data\\Meshes\\Vultrane\\Sets\\Nord.ini", or relative to the
    // configuration folder) turned into a real path below DataFolder(), with the real letter case
    // found on disk when the case differs (Windows paths are case-blind).
    std::string RealPath(const std::string& libraryPath) const;

private:
    std::string dataFolder_;
    std::string gameFolder_;
    std::string previousFolder_;
    std::string previousLog_;  // the log file open before, reopened at the end
    std::string tempFolder_;  // made by this session, removed at the end; empty when none
    std::string junction_;    // Windows: the junction inside tempFolder_ that leads to dataFolder_
    std::vector<std::string> logLines_;
};

}  // namespace vultrane
