// End-to-end test support: the built plug-in loaded once per process through its two exported
// entry points, as the script extender loads it, into a temporary game folder; calls of its
// menu functions through a simulated movie; standard-output capture; child processes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/engine.h"
#include "game/sim/sim.h"
#include "tools/hostsim/capture.h"

namespace e2e {

using QueryFn = bool (*)(const SKSEInterface*, PluginInfo*);
using LoadFn = bool (*)(const SKSEInterface*);

// Runs `fn` with file descriptor 1 sent to a temporary file; returns the lines written.
std::vector<std::string> CaptureStdout(const std::function<void()>& fn);

// A host record as the extender fills it in the game.
SKSEInterface GameHostRecord();

// The plug-in of this process. The first use makes a temporary game folder (with
// data\skse\plugins) the current folder, dlopens the library, and runs the handshake the game
// runs: Query, Load, and one movie with the functions registered into its root.
class Plugin {
public:
    static Plugin& Get();

    const std::string& GameFolder() const { return folder_; }
    std::string LogPath() const { return folder_ + "/data/skse/plugins/Vultrane.log"; }
    void* Library() const { return library_; }
    QueryFn Query() const { return query_; }
    LoadFn Load() const { return load_; }

    // What the process-wide handshake saw.
    bool QueryResult() const { return queryResult_; }
    const PluginInfo& Info() const { return info_; }
    const std::vector<std::string>& QueryLog() const { return queryLog_; }
    const std::vector<std::string>& LoadLog() const { return loadLog_; }
    // The callbacks the plug-in registered with the Scaleform interface, by name.
    const std::vector<std::pair<std::string, SKSEScaleformRegisterCallback>>& Registrations() const;
    // Scaleform heap blocks allocated by the first registration into a movie.
    size_t FirstRegistrationHeapBlocks() const { return firstRegistrationHeap_; }

    GFxMovieView* Movie() const { return movie_; }
    GFxValue& Root() { return root_; }

    // Sets up another movie with its own root and registers the functions into it.
    GFxMovieView* AddMovie(GFxValue& root, bool* callbackResult = nullptr);

private:
    Plugin();
    std::string folder_;
    void* library_ = nullptr;
    QueryFn query_ = nullptr;
    LoadFn load_ = nullptr;
    bool queryResult_ = false;
    PluginInfo info_{};
    std::vector<std::string> queryLog_, loadLog_;
    size_t firstRegistrationHeap_ = 0;
    GFxMovieView* movie_ = nullptr;
    GFxValue root_{};
};

// One menu call through the movie: the function's record, its log lines and return value.
struct CallResult {
    bool found = false;
    std::vector<std::string> log;
    GFxValue result{};  // owned by the caller: release with sim::Release
};
CallResult CallMenu(const char* name, std::vector<GFxValue> args);

// Values made by the plug-in's movie (managed; released after the call they are passed to).
GFxValue MakeString(const char* text);
GFxValue MakeArray();
GFxValue MakeObject();

// A fresh temporary folder, removed with its content when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& relative, const std::string& content) const;

private:
    std::string path_;
};

// The build's example game folder with its generated morph files (VTR_PRISTINE_GAME_DIR) is
// read-only and shared by every test process: a test that runs anything in a game folder copies
// it with this into a folder of its own. Makes `dir`/game (every file writable) and returns it.
std::string CopyExampleGame(const TempDir& dir);

std::string ReadFile(const std::string& path);
using hostsim::SplitLines;  // the host simulator splits its captured log the same way

struct ProcessResult {
    int exitCode = -1;  // -1 when the process did not exit normally
    std::string out, err;
};
// Runs a program with arguments and collects its standard output and error.
ProcessResult RunProcess(const std::vector<std::string>& argv);

}  // namespace e2e
