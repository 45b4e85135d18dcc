// vultrane studio: a local web page that shows a race set's sliders and the merged head live,
// computed by the library's own loader, slider list and merge. The HTTP side is in
// studio_server.cpp; everything here answers requests without knowing about sockets, so tests
// call it directly too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sliders/apply.h"
#include "tools/vultrane/check_run.h"
#include "tools/vultrane/cli_common.h"

namespace vultrane {

class GameSession;

struct StudioOptions {
    std::string folder;  // a mod's Data folder or a game folder
    std::string race;
    int sex = 1;         // 0 male, 1 female
    std::string world;   // a host-simulator world file whose player is used instead
};

// What one request gets back.
struct StudioAnswer {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
};
StudioAnswer JsonAnswer(const Json& json, int status = 200);
StudioAnswer ErrorAnswer(int status, const std::string& message);

// Node scales and moves as ApplySliderValues sets them, read from the skeleton text it writes.
struct NodeChange {
    std::string node;
    bool isScale = true;
    double scale = 1.0, x = 0.0, y = 0.0, z = 0.0;
};
std::vector<NodeChange> ParseSkeletonText(const std::string& text);

// {"values": [[uniqueID, value], ...]}: ids 32-bit integers, values finite numbers. False with
// `error` naming the first bad part.
bool ParseValuesJson(const std::string& body, SliderValueList& values, std::string& error);

// Binary layout of the merge answer (little-endian): "VTM1", u32 JSON length, the JSON (node
// table, log problems), padded to 4 bytes; u32 target count; per target u32 vertex count,
// f32 main scale, f32 neck scale, u32 flags (bit 0: neck morph present); then the main
// morph's int16 x,y,z per vertex and, when present, the neck morph's; each padded to 4 bytes.
constexpr uint32_t kMergeFlagNeck = 1;

class Studio {
public:
    // Loads everything; throws UsageError for a folder without configuration.
    explicit Studio(StudioOptions options);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    // The page's state: player, race set, GetList's records, presets, targets, check findings,
    // the reload generation.
    StudioAnswer State();
    // Every target's mesh: "VTR1", u32 target count; per target u32 vertex count, u32 triangle
    // count, f32 x,y,z per vertex, u32 a,b,c per triangle (quads split in two).
    StudioAnswer Mesh();
    StudioAnswer Merge(const std::string& body);
    StudioAnswer LoadPreset(const std::string& index);
    StudioAnswer LoadSlot(const std::string& slot);
    StudioAnswer SaveSlot(const std::string& body);
    StudioAnswer SetPlayer(const std::string& body);

    // Reloads when a configuration, preset or source .tri file changed (size, time, presence).
    bool ReloadIfChanged();
    uint64_t Generation();

private:
    void LoadLocked();         // with mutex_ held
    void OpenSessionLocked();  // the session the merges run in, after the slider list and check
    std::string FingerprintLocked() const;
    StudioAnswer ReadFaceLocked(int slot, const std::string& what);

    std::mutex mutex_;
    StudioOptions options_;
    std::unique_ptr<GameSession> session_;
    uint64_t generation_ = 0;
    std::string fingerprint_;
    // Snapshot of the last load.
    Json records_ = Json::array();
    Json presets_ = Json::array();
    Json races_ = Json::array();
    std::string raceName_, raceSetName_, matchLine_;
    int raceSetIndex_ = -1;
    std::vector<std::string> targets_;
    std::vector<std::string> watched_;  // real paths of the source files
    CheckReport check_;
    std::vector<std::string> loadProblems_;
    std::string configFolder_;
};

// The first race that the folder's race definitions name (the studio's race when none is
// given); empty when none does. Throws UsageError for a folder without configuration.
std::string FirstRaceName(const std::string& folder);

// Access rules of the local server, decided from the request's facts alone.
struct RequestFacts {
    std::string method;  // "GET", "POST", ...
    std::string path;
    std::string host;    // the Host header; empty when missing
    std::string origin;  // the Origin header; empty when missing
    std::string token;   // the X-Vtr-Token header or the token query parameter
};
// An answer refusing the request, or nothing when it may go on. API paths (/api/...) need the
// run's token; every request not GET/HEAD needs a matching Origin as well.
std::optional<StudioAnswer> GuardRequest(const RequestFacts& request, int port, const std::string& token);

// The page's files, built into the program.
struct EmbeddedFile {
    const char* path;  // "/index.html"
    const char* contentType;
    const unsigned char* data;
    size_t size;
};
const EmbeddedFile* FindEmbeddedFile(const std::string& path);
const std::vector<EmbeddedFile>& EmbeddedFiles();

// A fresh random token (hex).
std::string NewToken();

// The server on 127.0.0.1: serves until Stop(). Port 0 takes a free one.
class StudioServer {
public:
    StudioServer(Studio& studio, int port, std::string token);
    ~StudioServer();
    StudioServer(const StudioServer&) = delete;
    StudioServer& operator=(const StudioServer&) = delete;
    bool Start(std::string& error);  // binds and serves on a thread of its own
    void Stop();
    int Port() const { return port_; }
    const std::string& Token() const { return token_; }
    std::string Url() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_;
    std::string token_;
};

}  // namespace vultrane
