// The studio's answers: state, meshes and merged morphs from the library's own loader, slider
// list, cache and merge; slots and presets through the library's reader and writer.
#include "tools/vultrane/studio.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <set>

#include "config/model.h"
#include "game/player.h"
#include "game/sim/sim.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "os/os.h"
#include "persist/slots.h"
#include "sliders/race_match.h"
#include "tools/hostsim/json_in.h"
#include "tools/hostsim/world.h"
#include "tools/vultrane/cli_sliders.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/game_folder.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxSlot = 99;
constexpr size_t kMaxValues = 200000;

void Put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutF(std::string& out, float v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void Pad4(std::string& out) {
    while (out.size() % 4) out.push_back('\0');
}

bool ParseSmallInt(const std::string& text, int low, int high, int& out) {
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= low && out <= high;
}

Json ValuesJson(const SliderValueList& values) {
    Json list = Json::array();
    for (const auto& [id, v] : values) list.push_back({id, NumJson(v)});
    return list;
}

Json DiagnosticsJson(const CheckReport& report) {
    Json list = Json::array();
    for (const Diagnostic& d : report.diagnostics)
        list.push_back({{"file", d.file}, {"line", d.line}, {"error", d.error}, {"message", d.message}});
    return list;
}

// The merged morph that a value list gives the neck and head is zero unless a neck or head
// size slider is among them; skipping that merge then gives the same file.
bool HasNeckValue(const SliderValueList& values, const RaceSetting& set, int sexCode) {
    for (const auto& [id, v] : values)
        if ((id == kNeckLengthSliderId || id == kHeadSizeSliderId) && std::isfinite(v) &&
            FindSliderForValue(set, id, sexCode) >= 0)
            return true;
    return false;
}

}  // namespace

StudioAnswer JsonAnswer(const Json& json, int status) {
    return {status, json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace), "application/json"};
}

StudioAnswer ErrorAnswer(int status, const std::string& message) { return JsonAnswer({{"error", message}}, status); }

std::vector<NodeChange> ParseSkeletonText(const std::string& text) {
    std::vector<NodeChange> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        // # "name" scale:F   or   # "name" (x,y,z):X,Y,Z
        if (line.rfind("# \"", 0) != 0) continue;
        const size_t close = line.rfind('"');
        if (close <= 2) continue;
        NodeChange c;
        c.node = line.substr(3, close - 3);
        const std::string rest = line.substr(close + 1);
        if (rest.rfind(" scale:", 0) == 0) {
            c.isScale = true;
            c.scale = std::strtod(rest.c_str() + 7, nullptr);
        } else if (rest.rfind(" (x,y,z):", 0) == 0) {
            c.isScale = false;
            const char* p = rest.c_str() + 9;
            char* e = nullptr;
            c.x = std::strtod(p, &e);
            if (*e == ',') c.y = std::strtod(e + 1, &e);
            if (*e == ',') c.z = std::strtod(e + 1, &e);
        } else {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

bool ParseValuesJson(const std::string& body, SliderValueList& values, std::string& error) {
    values.clear();
    // Parsed on every slider move: the unordered kind is the quicker one.
    using FastJson = nlohmann::json;
    const FastJson doc = FastJson::parse(body, nullptr, false);
    if (doc.is_discarded()) {
        error = "the body is not JSON";
        return false;
    }
    if (!doc.is_object() || !doc.contains("values") || !doc["values"].is_array()) {
        error = "expected {\"values\": [[uniqueID, value], ...]}";
        return false;
    }
    const FastJson& list = doc["values"];
    if (list.size() > kMaxValues) {
        error = "too many values";
        return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const FastJson& p = list[i];
        const std::string where = "values[" + std::to_string(i) + "]";
        if (!p.is_array() || p.size() != 2) {
            error = where + " is not a pair [uniqueID, value]";
            return false;
        }
        if (!p[0].is_number_integer() || p[0].get<int64_t>() < std::numeric_limits<int32_t>::min() ||
            p[0].get<int64_t>() > std::numeric_limits<int32_t>::max() ||
            (p[0].is_number_unsigned() && p[0].get<uint64_t>() > uint64_t{std::numeric_limits<int32_t>::max()})) {
            error = where + ": the uniqueID is not a 32-bit integer";
            return false;
        }
        if (!p[1].is_number() || !std::isfinite(p[1].get<double>())) {
            error = where + ": the value is not a finite number";
            return false;
        }
        values.emplace_back(static_cast<int32_t>(p[0].get<int64_t>()), p[1].get<double>());
    }
    return true;
}

Studio::Studio(StudioOptions options) : options_(std::move(options)) {
    std::error_code ec;
    options_.folder = fs::absolute(options_.folder, ec).string();
    if (!options_.world.empty()) options_.world = fs::absolute(options_.world, ec).string();
    std::lock_guard<std::mutex> lock(mutex_);
    LoadLocked();
    fingerprint_ = FingerprintLocked();
    // A bad folder at the start is the user's argument; later it is only reported.
    if (!session_) throw UsageError(loadProblems_.empty() ? "cannot load " + options_.folder : loadProblems_.front());
}

Studio::~Studio() {
    std::lock_guard<std::mutex> lock(mutex_);
    session_.reset();
    ClearTriCache();
}

void Studio::LoadLocked() {
    // The library's state is one per process: every other session ends before the next starts.
    session_.reset();
    ClearTriCache();
    loadProblems_.clear();
    records_ = Json::array();
    presets_ = Json::array();
    races_ = Json::array();
    targets_.clear();
    watched_.clear();
    raceSetIndex_ = -1;
    raceSetName_.clear();
    matchLine_.clear();
    check_ = CheckReport{};
    ++generation_;
    try {
        SliderRequest r{options_.folder, options_.race, options_.sex, false, true, options_.world};
        SliderListing listing = ListSliders(r);
        for (const Json& rec : listing.records)
            if (!rec.contains("isLimitedMode")) records_.push_back(rec);
        matchLine_ = listing.matchLine;
        for (const std::string& p : Problems(listing.log)) loadProblems_.push_back(p);
        if (!listing.listed) loadProblems_.push_back("no race set serves this player: the menu lists nothing");
    } catch (const hostsim::InputError& e) {
        loadProblems_.push_back(std::string("--world: ") + e.what());
        return;
    } catch (const std::exception& e) {
        loadProblems_.push_back(e.what());
        return;
    }
    try {
        check_ = CheckDataFolder(options_.folder);
    } catch (const std::exception& e) {
        loadProblems_.push_back(std::string("check: ") + e.what());
    }
    try {
        OpenSessionLocked();
    } catch (const hostsim::InputError& e) {
        session_.reset();
        loadProblems_.push_back(std::string("--world: ") + e.what());
    } catch (const std::exception& e) {
        session_.reset();
        loadProblems_.push_back(e.what());
    }
}

void Studio::OpenSessionLocked() {
    session_ = std::make_unique<GameSession>(options_.folder);
    session_->LoadConfiguration();
    PlayerCharacter* player = nullptr;
    if (!options_.world.empty()) {
        const std::string text = hostsim::ReadTextFile(options_.world, "world");
        hostsim::BuildWorld(hostsim::ParseJson(text, "world"), fs::path(options_.world).parent_path().string());
        player = sim::Player();
    } else {
        player = session_->SetPlayer(options_.race, options_.sex);
    }
    TESNPC* npc = player ? PlayerNpcForm(player) : nullptr;
    if (npc) options_.sex = NpcForm_GetSex(npc);
    raceName_ = options_.race;
    raceSetIndex_ = FindPlayerRaceSetting(raceName_);
    std::set<std::string> seen;
    for (const RaceDefinition& d : Config().raceDefinitions)
        for (const std::string& n : d.names)
            if (!n.empty() && seen.insert(n).second) races_.push_back(n);
    if (raceSetIndex_ >= 0) {
        const RaceSetting& set = Config().raceSettings[static_cast<size_t>(raceSetIndex_)];
        raceSetName_ = set.raceSetName;
        const int sexCode = options_.sex + 1;
        EnsureTriCache(raceName_, sexCode, set);
        targets_ = set.TargetNames(sexCode);
        for (const std::vector<std::string>& sources : set.SourceSets(sexCode))
            for (const std::string& s : sources) watched_.push_back(session_->RealPath(set.iniDirectory + s));
        // The presets of the first race definition naming the race, as the reader picks them.
        const RaceDefinition* def = nullptr;
        for (const RaceDefinition& d : Config().raceDefinitions) {
            if (std::find(d.names.begin(), d.names.end(), raceName_) != d.names.end()) {
                def = &d;
                break;
            }
        }
        if (!def)
            for (const RaceDefinition& d : Config().raceDefinitions)
                if (std::find(d.editorIds.begin(), d.editorIds.end(), options_.race) != d.editorIds.end()) {
                    def = &d;
                    break;
                }
        if (def)
            for (const std::string& p : def->presets) presets_.push_back(p);
    }
    for (const std::string& p : Problems(session_->LogLines())) loadProblems_.push_back(p);
    configFolder_ = session_->RealPath("");
}

std::string Studio::FingerprintLocked() const {
    std::string fp;
    auto add = [&](const fs::path& p) {
        std::error_code ec;
        const auto size = fs::file_size(p, ec);
        const auto time = fs::last_write_time(p, ec);
        fp += p.string() + '\t' + (ec ? std::string("-") : std::to_string(size)) + '\t' +
              std::to_string(time.time_since_epoch().count()) + '\n';
    };
    std::error_code ec;
    std::vector<fs::path> files;
    if (!configFolder_.empty())
        for (fs::recursive_directory_iterator it(configFolder_, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) add(f);
    for (const std::string& w : watched_) add(w);
    if (!options_.world.empty()) add(options_.world);
    return fp;
}

bool Studio::ReloadIfChanged() {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string fp = FingerprintLocked();
    if (fp == fingerprint_) return false;
    LoadLocked();
    fingerprint_ = FingerprintLocked();
    return true;
}

uint64_t Studio::Generation() {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
}

StudioAnswer Studio::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    Json targets = Json::array();
    for (const std::string& t : targets_) {
        const TriFile* tri = session_ ? FindCachedTri(t) : nullptr;
        targets.push_back({{"path", t}, {"vertices", tri ? tri->vertexCount : 0}, {"read", tri && tri->filesRead > 0}});
    }
    Json check = {{"diagnostics", DiagnosticsJson(check_)},
                  {"errors", check_.Errors()},
                  {"warnings", check_.Warnings()},
                  {"filesChecked", check_.filesChecked}};
    return JsonAnswer({{"generation", generation_},
                       {"folder", options_.folder},
                       {"race", raceName_},
                       {"sex", options_.sex ? "female" : "male"},
                       {"world", options_.world},
                       {"raceSet", raceSetName_},
                       {"match", matchLine_},
                       {"races", races_},
                       {"records", records_},
                       {"presets", presets_},
                       {"targets", targets},
                       {"check", check},
                       {"problems", loadProblems_}});
}

StudioAnswer Studio::Mesh() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out = "VTR1";
    Put32(out, static_cast<uint32_t>(targets_.size()));
    for (const std::string& t : targets_) {
        const TriFile* tri = session_ ? FindCachedTri(t) : nullptr;
        if (!tri || tri->filesRead == 0 || tri->vertices.size() != tri->vertexCount) {
            Put32(out, 0);
            Put32(out, 0);
            continue;
        }
        std::vector<uint32_t> index;
        const uint32_t n = tri->vertexCount;
        auto tri3 = [&](uint32_t a, uint32_t b, uint32_t c) {
            // Indices past the mesh would make the page draw garbage; such faces are left out.
            if (a < n && b < n && c < n) index.insert(index.end(), {a, b, c});
        };
        for (const TriTriangle& f : tri->triangles) tri3(f.a, f.b, f.c);
        for (const TriQuad& q : tri->quads) {
            tri3(q.a, q.b, q.c);
            tri3(q.a, q.c, q.d);
        }
        Put32(out, n);
        Put32(out, static_cast<uint32_t>(index.size() / 3));
        out.append(reinterpret_cast<const char*>(tri->vertices.data()), tri->vertices.size() * sizeof(TriVertex));
        out.append(reinterpret_cast<const char*>(index.data()), index.size() * 4);
    }
    return {200, std::move(out), "application/octet-stream"};
}

StudioAnswer Studio::Merge(const std::string& body) {
    SliderValueList values;
    std::string error;
    if (!ParseValuesJson(body, values, error)) return ErrorAnswer(400, error);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_ || raceSetIndex_ < 0) return ErrorAnswer(409, "no race set serves this player");
    const RaceSetting& set = Config().raceSettings[static_cast<size_t>(raceSetIndex_)];
    const int sexCode = options_.sex + 1;
    session_->ClearLog();
    ApplySliderValues(set, values, sexCode);
    Json nodes = Json::array();
    for (const NodeChange& c : ParseSkeletonText(SkeletonText())) {
        if (c.isScale)
            nodes.push_back({{"node", c.node}, {"scale", NumJson(c.scale)}});
        else
            nodes.push_back({{"node", c.node}, {"x", NumJson(c.x)}, {"y", NumJson(c.y)}, {"z", NumJson(c.z)}});
    }
    const bool neck = HasNeckValue(values, set, sexCode);
    std::string morphs;
    Put32(morphs, static_cast<uint32_t>(targets_.size()));
    for (const std::string& t : targets_) {
        const TriFile* tri = FindCachedTri(t);
        if (!tri || tri->filesRead == 0) {
            Put32(morphs, 0);
            PutF(morphs, 1.0f);
            PutF(morphs, 1.0f);
            Put32(morphs, 0);
            continue;
        }
        const uint32_t n = tri->vertexCount;
        const MergedMorph main = BuildMergedMorph(values, set, t, *tri, n, sexCode, kMergeMain);
        MergedMorph neckMorph;
        if (neck) neckMorph = BuildMergedMorph(values, set, t, *tri, n, sexCode, kMergeNeckAndHead);
        Put32(morphs, n);
        PutF(morphs, main.scale);
        PutF(morphs, neckMorph.scale);
        Put32(morphs, neck ? kMergeFlagNeck : 0);
        morphs.append(reinterpret_cast<const char*>(main.deltas.data()), main.deltas.size() * sizeof(TriDelta));
        Pad4(morphs);
        if (neck) {
            morphs.append(reinterpret_cast<const char*>(neckMorph.deltas.data()),
                          neckMorph.deltas.size() * sizeof(TriDelta));
            Pad4(morphs);
        }
    }
    // The merge's own messages (a morph out of range) belong in the answer too: JSON last.
    const std::string json =
        Json{{"nodes", nodes}, {"problems", Problems(session_->LogLines())}}.dump(
            -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::string out = "VTM1";
    out.reserve(16 + json.size() + morphs.size());
    Put32(out, static_cast<uint32_t>(json.size()));
    out += json;
    Pad4(out);
    out += morphs;
    return {200, std::move(out), "application/octet-stream"};
}

StudioAnswer Studio::ReadFaceLocked(int slot, const std::string& what) {
    if (!session_ || raceSetIndex_ < 0) return ErrorAnswer(409, "no race set serves this player");
    const RaceSetting& set = Config().raceSettings[static_cast<size_t>(raceSetIndex_)];
    session_->ClearLog();
    FaceSlot face;
    if (!LoadFaceSlot(set, raceName_, slot, face)) return ErrorAnswer(404, what + " cannot be read");
    return JsonAnswer({{"values", ValuesJson(face)}, {"problems", Problems(session_->LogLines())}});
}

StudioAnswer Studio::LoadPreset(const std::string& index) {
    int i = 0;
    if (!ParseSmallInt(index, 0, 9999, i)) return ErrorAnswer(400, "the preset index is not a number 0-9999");
    std::lock_guard<std::mutex> lock(mutex_);
    if (static_cast<size_t>(i) >= presets_.size()) return ErrorAnswer(404, "no preset " + std::to_string(i));
    return ReadFaceLocked(-1 - i, "the preset " + presets_[static_cast<size_t>(i)].get<std::string>());
}

StudioAnswer Studio::LoadSlot(const std::string& slot) {
    int s = 0;
    if (!ParseSmallInt(slot, 1, kMaxSlot, s)) return ErrorAnswer(400, "the slot is not a number 1-99");
    std::lock_guard<std::mutex> lock(mutex_);
    return ReadFaceLocked(s, "slot " + std::to_string(s));
}

StudioAnswer Studio::SaveSlot(const std::string& body) {
    SliderValueList values;
    std::string error;
    if (!ParseValuesJson(body, values, error)) return ErrorAnswer(400, error);
    const Json doc = Json::parse(body, nullptr, false);
    if (!doc.contains("slot") || !doc["slot"].is_number_integer() || doc["slot"].get<int64_t>() < 1 ||
        doc["slot"].get<int64_t>() > kMaxSlot)
        return ErrorAnswer(400, "\"slot\" must be a number 1-99");
    const int slot = static_cast<int>(doc["slot"].get<int64_t>());
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_ || raceSetIndex_ < 0) return ErrorAnswer(409, "no race set serves this player");
    const RaceSetting& set = Config().raceSettings[static_cast<size_t>(raceSetIndex_)];
    const std::string path = SlotFilePath(slot, set);
    if (path.empty()) return ErrorAnswer(500, "the documents folder is unknown");
    session_->ClearLog();
    ApplySliderValues(set, values, options_.sex + 1);  // the skeleton lines of the file
    WriteSlotFile(slot, set, values, raceName_);
    const std::vector<std::string> problems = Problems(session_->LogLines());
    // The library names the file with the game's separators; the answer names the real file.
    const std::string real = os::ResolvePath(path);
    std::error_code ec;
    if (!problems.empty() || real.empty() || !fs::is_regular_file(real, ec))
        return JsonAnswer({{"error", problems.empty() ? "the slot file was not written" : problems.front()},
                           {"problems", problems}},
                          500);
    return JsonAnswer({{"slot", slot}, {"path", real}});
}

StudioAnswer Studio::SetPlayer(const std::string& body) {
    const Json doc = Json::parse(body, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return ErrorAnswer(400, "the body is not a JSON object");
    if (!doc.contains("race") || !doc["race"].is_string() || doc["race"].get<std::string>().empty() ||
        doc["race"].get<std::string>().size() > 256)
        return ErrorAnswer(400, "\"race\" must be a race name");
    int sex = 1;
    if (doc.contains("sex")) {
        if (!doc["sex"].is_string()) return ErrorAnswer(400, "\"sex\" must be \"female\" or \"male\"");
        const std::string s = doc["sex"].get<std::string>();
        if (s != "female" && s != "male") return ErrorAnswer(400, "\"sex\" must be \"female\" or \"male\"");
        sex = s == "female";
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        options_.race = doc["race"].get<std::string>();
        options_.sex = sex;
        options_.world.clear();  // a chosen race replaces the world file's player
        LoadLocked();
        fingerprint_ = FingerprintLocked();
    }
    return State();
}

std::string FirstRaceName(const std::string& folder) {
    GameSession session(folder);
    session.LoadConfiguration();
    for (const RaceDefinition& d : Config().raceDefinitions) {
        for (const std::string& n : d.names)
            if (!n.empty()) return n;
        for (const std::string& n : d.editorIds)
            if (!n.empty()) return n;
    }
    return {};
}

std::optional<StudioAnswer> GuardRequest(const RequestFacts& request, int port, const std::string& token) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string p = std::to_string(port);
    const std::string host = lower(request.host);
    // Another name resolving to this machine (DNS rebinding) arrives with its own Host.
    if (host != "127.0.0.1:" + p && host != "localhost:" + p)
        return ErrorAnswer(403, "the Host header must be 127.0.0.1:" + p + " or localhost:" + p);
    const bool api = request.path.rfind("/api/", 0) == 0;
    if (api) {
        // Compared in full whatever the length, so the time taken tells nothing.
        bool same = request.token.size() == token.size();
        unsigned diff = 0;
        for (size_t i = 0; i < token.size(); ++i)
            diff |= static_cast<unsigned char>(token[i]) ^
                    static_cast<unsigned char>(i < request.token.size() ? request.token[i] : 0);
        if (!same || diff != 0 || token.empty()) return ErrorAnswer(403, "missing or wrong token");
    }
    if (request.method != "GET" && request.method != "HEAD") {
        const std::string origin = lower(request.origin);
        if (origin != "http://127.0.0.1:" + p && origin != "http://localhost:" + p)
            return ErrorAnswer(403, "a request that changes anything needs the Origin of this page");
    }
    return std::nullopt;
}

const EmbeddedFile* FindEmbeddedFile(const std::string& path) {
    const std::string key = path == "/" ? "/index.html" : path;
    for (const EmbeddedFile& f : EmbeddedFiles())
        if (key == f.path) return &f;
    return nullptr;
}

std::string NewToken() {
    std::random_device rd;
    static const char* kHex = "0123456789abcdef";
    std::string t;
    for (int i = 0; i < 8; ++i) {
        const uint32_t r = rd();
        for (int k = 0; k < 4; ++k) {
            t.push_back(kHex[(r >> (8 * k)) & 15]);
        }
    }
    return t;
}

}  // namespace vultrane
