// vultrane demo: the plug-in loaded as the script extender loads it into a simulated game with
// the example Nord player; the menu's calls list the sliders, load a preset, merge the face into
// a slot and new .tri files and into the loaded morph data; then a short account of it all and
// before/after pictures of the merged head.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "config/loader.h"
#include "config/model.h"
#include "game/player.h"
#include "game/sim/sim.h"
#include "os/os.h"
#include "persist/slots.h"
#include "render/preview.h"
#include "sliders/race_match.h"
#include "tools/hostsim/dump.h"
#include "tools/hostsim/host.h"
#include "tools/hostsim/world.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/cli_demo.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_tri.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/progress.h"

#ifndef VTR_PLUGIN_PATH
#define VTR_PLUGIN_PATH "Vultrane.so"
#endif

namespace vultrane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStamp = ".vultrane-demo";
constexpr const char* kRace = "Nord";
constexpr int kPreset = -2;  // the second preset of the Nord definition: nose, cheeks, shoulders
constexpr int kSlot = 1;

// Three significant digits: the menu's numbers are floats shown as doubles.
std::string Short(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", x);
    return buf;
}

bool Below(const fs::path& inner, const fs::path& outer) {
    const fs::path a = fs::weakly_canonical(inner), b = fs::weakly_canonical(outer);
    auto i = a.begin();
    for (auto j = b.begin(); j != b.end(); ++j, ++i)
        if (i == a.end() || *i != *j) return false;
    return true;
}

// The folder is the demo's own, or new, or empty: nothing of the user's is removed.
void ClaimOutputFolder(const fs::path& out) {
    std::error_code ec;
    if (Below(out, fs::path(SourceFolder()) / "examples"))
        throw UsageError("--out: " + out.string() + " lies inside the bundled examples, which the demo never writes");
    if (fs::exists(out, ec)) {
        if (!fs::is_directory(out, ec)) throw UsageError("--out: " + out.string() + " is not a folder");
        if (!fs::is_empty(out, ec) && !fs::exists(out / kStamp, ec))
            throw UsageError("--out: " + out.string() + " holds files that are not an earlier demo's; give a new or empty folder");
        for (const char* part : {"game", "documents", "pictures"}) fs::remove_all(out / part, ec);
    }
    fs::create_directories(out);
    std::ofstream(out / kStamp) << "made by vultrane demo; its game, documents and pictures folders are rewritten by the next run\n";
}

Json Call(hostsim::Host& host, const Json& spec, size_t index, std::vector<std::string>& problems) {
    Json list = Json::array({spec});
    std::vector<hostsim::CallSpec> calls = hostsim::ReadCallList(list);
    Json out = host.Call(calls.front(), index);
    for (const Json& line : out.value("log", Json::array()))
        if (line.get<std::string>().find("ERROR") != std::string::npos ||
            line.get<std::string>().find("WARNING") != std::string::npos)
            problems.push_back(spec["function"].get<std::string>() + ": " + line.get<std::string>());
    return out;
}

// The contents of the first array argument that the call filled.
Json FilledArray(const Json& call, size_t argument) {
    for (const Json& a : call.value("arrays", Json::array()))
        if (a["argument"] == argument) return a["contents"];
    return Json::array();
}

// Loaded morph data entries and morphs whose dump changed.
Json ChangedMorphData(const Json& before, const Json& after) {
    Json changed = Json::array();
    for (const Json& entry : after) {
        const Json* old = nullptr;
        for (const Json& b : before)
            if (b["path"] == entry["path"] && b.value("list", "") == entry.value("list", "")) old = &b;
        for (const Json& m : entry.value("morphs", Json::array())) {
            Json oldMorph;
            if (old)
                for (const Json& om : old->value("morphs", Json::array()))
                    if (om["name"] == m["name"]) oldMorph = om;
            if (oldMorph != m) changed.push_back({{"path", entry["path"]}, {"morph", m["name"]}, {"before", oldMorph}, {"after", m}});
        }
    }
    return changed;
}

// A path as it is on disk, relative to `base` when it lies below it: the plug-in logs and the
// example generator name files as the game would, in any letter case.
std::string OnDisk(const fs::path& base, const std::string& path) {
    const fs::path real = fs::path(os::ResolvePath(path)).lexically_normal();
    const fs::path absolute = real.is_absolute() ? real : (fs::current_path() / real).lexically_normal();
    const fs::path rel = absolute.lexically_relative(base);
    if (!rel.empty() && *rel.begin() != "..") return rel.generic_string();
    return absolute.string();
}

// What a slider does, in a few words, from its definition in the race set.
std::string Describe(const SliderDef& s) {
    switch (s.type) {
    case 0: return "morphs " + s.lowTarget + " / " + s.target;
    case 1: return "picks the morph " + s.target + "<value>";
    case 2: {
        std::vector<std::string> nodes;
        ForEachNodeEntry(s.extraList, [&](size_t j, bool move) {
            if (!move) nodes.push_back(s.extraList[j]);
        });
        std::string text = "scales " + (nodes.empty() ? s.target : nodes.front());
        if (nodes.size() > 1) text += " and " + std::to_string(nodes.size() - 1) + " more";
        return text;
    }
    case 3: return "moves " + s.target;
    case 4: return "picks one of " + std::to_string(s.extraList.size()) + " rows of node scales";
    case 5: return "scales the whole character";
    case 6:
    case 7:
    case 8:
    case 17: return "a value for the menu's script, kept in the slot";
    case 9: return "the game menu's own \"" + s.name + "\" entry";
    case 10:
        return IsColourMenuId(s.uniqueID) ? "the game menu's own \"" + s.name + "\" colour"
                                          : "the menu's tint layer " + s.target;
    case 18: return "moves single vertices (" + s.target + ")";
    default: return "type " + std::to_string(s.type);
    }
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class ScopedFolder {
public:
    explicit ScopedFolder(const fs::path& p) : old_(fs::current_path()) { fs::current_path(p); }
    ~ScopedFolder() {
        std::error_code ec;
        fs::current_path(old_, ec);
    }

private:
    fs::path old_;
};

}  // namespace

Json RunDemo(const std::string& outFolder, int pictureSize) {
    const fs::path out = fs::absolute(outFolder).lexically_normal();
    ClaimOutputFolder(out);
    const fs::path game = out / "game", documents = out / "documents", pictures = out / "pictures";
    fs::create_directories(documents);
    fs::create_directories(pictures);
    Progress progress("demo", 6);

    Json record = Json::object();
    record["outputFolder"] = out.string();
    record["gameFolder"] = game.string();
    record["documentsFolder"] = documents.string();
    const std::vector<std::string> prepared = PrepareExampleGame(game.string());
    Json generated = Json::array();
    for (const std::string& f : prepared)
        if (f.size() > 4 && f.substr(f.size() - 4) == ".tri")
            generated.push_back((game / OnDisk(game, (game / f).string())).lexically_normal().string());
    record["generatedSources"] = generated;
    progress.Step(1);

    const fs::path worldFile = fs::path(SourceFolder()) / "examples" / "worlds" / "nord.json";
    record["world"] = worldFile.string();
    ScopedEnv docsEnv("XDG_DOCUMENTS_DIR", documents.string());
    const hostsim::Json worldJson = hostsim::ParseJson(hostsim::ReadTextFile(worldFile.string(), "world"), "world");
    hostsim::WorldBuild world = hostsim::BuildWorld(worldJson, worldFile.parent_path().string());
    ScopedFolder inGame(game);
    hostsim::BuildLoadedMorphData(world);

    hostsim::HostOptions options;
    options.pluginPath = VTR_PLUGIN_PATH;
    hostsim::Host host(options);
    std::string error;
    if (!host.Open(error)) throw std::runtime_error(error);
    record["plugin"] = host.PluginPath();
    Json handshake = host.Handshake();
    record["handshake"] = handshake;
    progress.Step(2);

    std::vector<std::string> problems;
    Json calls = Json::array();
    Json list = Call(host, {{"function", "GetList"}, {"args", {kRace, Json::array(), 0, false, true}}}, 0, problems);
    calls.push_back(list);
    Json preset = Call(host, {{"function", "GetSlotData"}, {"args", {kRace, kPreset, Json::array()}}}, 1, problems);
    calls.push_back(preset);
    Json info = Json::array();
    Json presetValues = Json::array();
    for (const Json& p : FilledArray(preset, 2)) {
        info.push_back(p["uniqueID"]);
        info.push_back(p["position"]);
        presetValues.push_back({{"uniqueID", p["uniqueID"]}, {"value", p["position"]}});
    }
    record["preset"] = {{"slot", kPreset}, {"values", presetValues}};
    progress.Step(3);

    Json merge = Call(host, {{"function", "SetMergedMorphs"}, {"args", {kRace, info, kSlot}}}, 2, problems);
    calls.push_back(merge);
    const Json before = hostsim::DumpWorld(host.PluginPath())["loadedMorphData"];
    Json memory = Call(host, {{"function", "SetMergedMorphsMemory"}, {"args", {kRace, info, 0}}}, 3, problems);
    calls.push_back(memory);
    const Json after = hostsim::DumpWorld(host.PluginPath())["loadedMorphData"];
    record["calls"] = calls;
    record["memoryChanges"] = ChangedMorphData(before, after);
    progress.Step(4);

    // The files the merge wrote: the race set's targets for the player, read with this
    // program's own copy of the library from the same game folder.
    std::string raceName = kRace;
    int sexCode = 2;
    Json written = Json::array();
    std::string headFile;
    std::vector<std::string> loadLog = CaptureLog([&] {
        Config() = Configuration{};
        LoadConfiguration(kConfigDirectory);
        if (PlayerCharacter* player = PlayerSingleton())
            if (TESNPC* npc = PlayerNpcForm(player)) sexCode = NpcForm_GetSex(npc) + 1;
    });
    record["raceSetFiles"] = Json::array();
    for (const std::string& l : loadLog)
        if (l.rfind("Load ini: ", 0) == 0) record["raceSetFiles"].push_back(OnDisk(game, l.substr(10)));
    for (const RaceDefinition& d : Config().raceDefinitions)
        if (std::find(d.names.begin(), d.names.end(), kRace) != d.names.end()) {
            const size_t p = static_cast<size_t>(-1 - kPreset);
            if (p < d.presets.size()) record["preset"]["file"] = d.presets[p];
            break;
        }
    const int index = FindPlayerRaceSetting(raceName);
    if (index >= 0) {
        const RaceSetting& set = Config().raceSettings[static_cast<size_t>(index)];
        record["raceSet"] = set.raceSetName;
        for (Json& v : record["preset"]["values"]) {
            const int at = FindSliderForValue(set, v["uniqueID"].get<int32_t>(), sexCode);
            if (at >= 0) v["name"] = set.sliders[static_cast<size_t>(at)].name;
        }
        // What each listed slider does; a merged duplicate (type 99) is described by its first record.
        Json notes = Json::object();
        for (const SliderDef& d : set.sliders)
            if (d.type != 99 && (d.sexMask & sexCode) && !notes.contains(std::to_string(d.uniqueID)))
                notes[std::to_string(d.uniqueID)] = Describe(d);
        record["sliderNotes"] = notes;
        Json neckHead = Json::array();
        for (int id : {903, 902})
            if (FindSliderForValue(set, id, sexCode) >= 0) neckHead.push_back(id);
        record["neckHeadSliders"] = neckHead;
        const auto& targets = set.TargetNames(sexCode);
        const auto& sources = set.SourceSets(sexCode);
        for (size_t t = 0; t < targets.size(); ++t) {
            const std::string path = os::ResolvePath(targets[t]);
            Json w = {{"target", targets[t]}, {"path", (game / Slashes(targets[t])).lexically_normal().string()}};
            TriFile merged;
            std::string readError;
            if (!fs::exists(path) || !LoadTriFile(path, merged, readError)) {
                w["written"] = false;
                problems.push_back("SetMergedMorphs wrote no readable " + targets[t] + (readError.empty() ? "" : ": " + readError));
                written.push_back(w);
                continue;
            }
            w["written"] = true;
            w["path"] = fs::weakly_canonical(path).string();
            for (const char* name : {"NoseType32", "LipType33"}) {
                const int m = FindMorphIndex(merged, name);
                if (m < 0) continue;
                const MorphSummary s = SummariseMorph(merged.morphs[static_cast<size_t>(m)]);
                w[name] = {{"largestOffset", s.largest}, {"atVertex", s.vertex < 0 ? Json(nullptr) : Json(s.vertex)}};
            }
            if (t < sources.size() && !sources[t].empty()) {
                TriFile source;
                const std::string sourcePath = os::ResolvePath(set.iniDirectory + sources[t].front());
                if (LoadTriFile(sourcePath, source, readError)) {
                    const TriDifference d = CompareTri(source, merged);
                    Json changedNames = Json::array();
                    for (const MorphDifference& md : d.changed) changedNames.push_back(md.name);
                    w["comparedWithSource"] = {{"source", fs::weakly_canonical(sourcePath).string()},
                                               {"morphsChanged", changedNames},
                                               {"morphsDropped", d.onlyInA.size()},
                                               {"morphsDroppedNames", d.onlyInA},
                                               {"morphsAdded", d.onlyInB}};
                }
            }
            std::string lower;
            for (char c : targets[t]) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (headFile.empty() && lower.find("head") != std::string::npos) headFile = path;
            written.push_back(w);
        }
    } else {
        problems.push_back("this program found no race set for the player");
    }
    Config() = Configuration{};
    record["writtenTri"] = written;
    RaceSetting slotSet;
    slotSet.raceSetName = record.value("raceSet", "");
    const std::string slotPath = os::ResolvePath(SlotFilePath(kSlot, slotSet));
    record["slotFile"] = fs::exists(slotPath) ? Json(slotPath) : Json(nullptr);
    if (!fs::exists(slotPath)) problems.push_back("SetMergedMorphs wrote no slot file");
    progress.Step(5);

    Json picturesOut = Json::array();
    if (!headFile.empty()) {
        TriFile merged;
        std::string readError;
        LoadTriFile(headFile, merged, readError);
        render::PreviewFiles files;
        const std::vector<float> base = render::BaseVertices(merged), face = render::MergedFaceVertices(merged);
        const std::string stem = (pictures / (std::string(kRace) + (sexCode == 2 ? "-female" : "-male") + "-head")).string();
        const std::string caption = std::string(kRace) + (sexCode == 2 ? " woman" : " man") + ", preset " +
                                    record["preset"].value("file", std::to_string(-kPreset)) +
                                    ": before (left), after (right)";
        if (render::WriteFacePreviews(merged, base, face, stem, pictureSize, true, files, readError, {}, caption))
            for (const std::string& p : files.paths) picturesOut.push_back(p);
        else problems.push_back("the pictures: " + readError);
        double most = 0;
        for (size_t i = 0; i + 2 < base.size() && i + 2 < face.size(); i += 3) {
            const double dx = face[i] - base[i], dy = face[i + 1] - base[i + 1], dz = face[i + 2] - base[i + 2];
            most = std::max(most, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
        record["headMovedAtMost"] = most;
    }
    record["pictures"] = picturesOut;
    record["problems"] = problems;
    progress.Step(6);
    progress.Done();
    return record;
}

std::string DemoSummary(const Json& r) {
    std::string s;
    auto add = [&](const std::string& line) { s += line + "\n"; };
    add("vultrane demo: the plug-in in a simulated game, Nord woman of " + r["world"].get<std::string>());
    add("  plug-in:       " + r["plugin"].get<std::string>());
    add("  output folder: " + r["outputFolder"].get<std::string>() + " (nothing is written elsewhere)");
    add("  game folder:   " + r["gameFolder"].get<std::string>() + " (a copy of examples/game, " +
        std::to_string(r["generatedSources"].size()) + " source .tri files generated)");
    add("");
    add("Loaded (paths below the game folder):");
    std::string sets;
    for (const Json& f : r["raceSetFiles"]) sets += (sets.empty() ? "" : ", ") + f.get<std::string>();
    add("  race-set files: " + sets);
    const Json& list = r["calls"][0];
    std::string match;
    for (const Json& l : list["log"])
        if (l.get<std::string>().rfind("match race: ", 0) == 0) match = l.get<std::string>();
    add("  " + match + " (race set " + r.value("raceSet", std::string("?")) + ")");

    const Json notes = r.value("sliderNotes", Json::object());
    auto noteOf = [&](const Json& id) {
        const std::string key = id.is_number_integer() ? id.dump() : std::to_string(static_cast<long long>(id.get<double>()));
        return notes.contains(key) ? notes[key].get<std::string>() : std::string();
    };
    Json records = FilledArray(list, 1);
    std::vector<std::vector<std::string>> rows;
    size_t sliders = 0, gameEntries = 0, pickers = 0, companions = 0;
    std::string gameEntryNames;
    for (const Json& rec : records) {
        if (!rec.contains("text")) continue;
        ++sliders;
        // The game menu's own entries (types 9 and 10), the colour pickers and the vertex editor's
        // companion rows are counted, not listed.
        const double id = rec["uniqueID"].get<double>();
        const std::string text = rec["text"].get<std::string>();
        const bool colourMenu = rec["type"] == 10 && IsColourMenuId(static_cast<int32_t>(id));
        if (rec["type"] == 9 || colourMenu) {
            ++gameEntries;
            if (gameEntries <= 4) gameEntryNames += (gameEntryNames.empty() ? "" : ", ") + text;
            continue;
        }
        if (id >= 980 && id <= 983) {
            ++pickers;
            continue;
        }
        if (text.rfind("$VTR_", 0) == 0) {
            ++companions;
            continue;
        }
        std::string what = noteOf(rec["uniqueID"]);
        if (rec["type"] == 99) what = "listed here too: " + what;
        rows.push_back({text, rec["uniqueID"].dump(), rec["type"].dump(),
                        Short(rec["sliderMin"].get<double>()) + " .. " + Short(rec["sliderMax"].get<double>()),
                        rec["categoryName"].get<std::string>(), what});
    }
    add("");
    add("Sliders the menu lists (GetList): " + std::to_string(sliders) + " records; the race set's own sliders:");
    std::string table =
        FormatTable({"slider", "uniqueID", "type", "range", "category", "what it does"}, rows, {false, true, true, false, false, false});
    for (size_t at = 0; at < table.size();) {
        size_t end = table.find('\n', at);
        add("  " + table.substr(at, end - at));
        at = end + 1;
    }
    add("  Type 99 is a slider the race set lists in a second category: the menu shows it in both.");
    std::vector<std::string> rest;
    if (gameEntries)
        rest.push_back(std::to_string(gameEntries) + " of the game menu's own entries that the set's fixed-menu lines place (" +
                       gameEntryNames + (gameEntries > 4 ? ", ..." : "") + ")");
    if (pickers) rest.push_back(std::to_string(pickers) + " colour pickers");
    if (companions) rest.push_back(std::to_string(companions) + " companion rows of the vertex edit");
    if (!rest.empty()) {
        add("  Not in the table:");
        for (const std::string& line : rest) add("    " + line);
    }
    add("");
    const Json& preset = r["preset"];
    add("Preset " + std::to_string(-preset["slot"].get<int>()) + " of the race" +
        (preset.contains("file") ? ", " + preset["file"].get<std::string>() : std::string()) + " (GetSlotData slot " +
        preset["slot"].dump() + "):");
    for (const Json& v : preset["values"])
        add("  " + v.value("name", std::string("(no slider)")) + " (" + v["uniqueID"].dump() + ") = " + Num(v["value"].get<double>()));
    add("");
    add("SetMergedMorphs wrote:");
    bool explainedMain = false, explainedNeck = false, explainedDropped = false;
    const Json neckHead = r.value("neckHeadSliders", Json::array());
    for (const Json& w : r["writtenTri"]) {
        if (!w["written"].get<bool>()) {
            add("  (not written) " + w["target"].get<std::string>());
            continue;
        }
        add("  " + w["path"].get<std::string>());
        for (const char* name : {"NoseType32", "LipType33"}) {
            if (!w.contains(name)) continue;
            const Json& m = w[name];
            add(std::string("      ") + name + (m["atVertex"].is_null() ? std::string(": moves nothing")
                                                      : " moves vertices up to " + Short(m["largestOffset"].get<double>()) +
                                                            " units (most at vertex " + m["atVertex"].dump() + ")"));
            if (std::string(name) == "NoseType32" && !explainedMain) {
                explainedMain = true;
                add("        (NoseType32: a morph name the game knows, reserved for the merged face: every morph slider's");
                add("        value summed into one morph)");
            }
            if (std::string(name) == "LipType33" && !explainedNeck) {
                explainedNeck = true;
                add("        (LipType33: reserved for the neck and head morphs of sliders 903 and 902;");
                add(std::string("        ") + (neckHead.empty() ? "this race set has neither, so it stays zero)"
                                                                : "this preset sets neither, so it stays zero)"));
            }
        }
        if (w.contains("comparedWithSource")) {
            const Json& c = w["comparedWithSource"];
            auto join = [](const Json& entries, size_t most) {
                std::string names;
                size_t n = 0;
                for (const Json& e : entries) {
                    if (n++ == most) {
                        names += ", ...";
                        break;
                    }
                    names += (names.empty() ? "" : ", ") + e.get<std::string>();
                }
                return names.empty() ? std::string("none") : names;
            };
            add("      against its source: added " + join(c["morphsAdded"], 8) + "; changed " + join(c["morphsChanged"], 8) +
                "; left out " + c["morphsDropped"].dump() + " morphs");
            if (!explainedDropped && c["morphsDropped"].get<size_t>() > 0) {
                explainedDropped = true;
                // The sliders' own morphs first: they say more than the neck and head morphs.
                Json names = Json::array(), neckHeadNames = Json::array();
                for (const Json& n : c.value("morphsDroppedNames", Json::array()))
                    (n.get<std::string>().rfind("VTR_", 0) == 0 ? neckHeadNames : names).push_back(n);
                for (const Json& n : neckHeadNames) names.push_back(n);
                add("        (the morphs outside the game's own names, " + join(names, 4) + ":");
                add("        the merge reads them from the source, and their effect is in NoseType32 and LipType33)");
            }
        }
    }
    add("  slot file: " + (r["slotFile"].is_null() ? std::string("(none)") : r["slotFile"].get<std::string>()));
    add("");
    add("SetMergedMorphsMemory patched the morph data the game holds loaded:");
    if (r["memoryChanges"].empty()) add("  nothing changed");
    bool explainedMemory = false;
    for (const Json& c : r["memoryChanges"]) {
        std::string what = c["path"].get<std::string>() + ": " + c["morph"].get<std::string>();
        if (c["after"].contains("nonZeroDeltas"))
            what += " (" + (c["before"].is_null() ? std::string("-") : c["before"].value("nonZeroDeltas", Json()).dump()) +
                    " -> " + c["after"]["nonZeroDeltas"].dump() + " vertices moved)";
        add("  " + what);
        if (!explainedMemory && c["morph"] == "NoseType33") {
            explainedMemory = true;
            add("    (NoseType33: the loaded morph that the merged face is written over, so the face changes at once;");
            add("    the files above carry the same face as NoseType32 for when the game loads them again)");
        }
    }
    add("");
    if (r["problems"].empty()) add("Log errors: none");
    else {
        add("Log errors and problems:");
        for (const Json& p : r["problems"]) add("  " + p.get<std::string>());
    }
    add("");
    if (r.contains("headMovedAtMost"))
        add("Pictures of the merged head (before: its own vertices; after: with the merged face, which moves it up to " +
            Short(r["headMovedAtMost"].get<double>()) + " units; -before-after.png shows both side by side):");
    for (const Json& p : r["pictures"]) add("  " + p.get<std::string>());
    add("");
    add("The full record: vultrane demo --json");
    return s;
}

namespace {

struct DemoOptions {
    std::string out;
    bool json = false;
    int size = 512;
};

}  // namespace

void AddDemoCommand(CLI::App& app, Run& run) {
    auto o = std::make_shared<DemoOptions>();
    o->out = (fs::path(BinaryFolder()) / "demo").string();
    CLI::App* c = app.add_subcommand("demo", "Run the plug-in on the bundled example data and show what it did");
    c->add_option("--out", o->out, "the one folder the demo writes below")->capture_default_str();
    c->add_option("--size", o->size, "picture size in pixels")->check(CLI::Range(64, 4096))->capture_default_str();
    c->add_flag("--json", o->json, "print the full machine-readable record instead of the summary");
    c->callback([o, &run] {
        const Json r = RunDemo(o->out, o->size);
        if (o->json) PrintJson(r);
        else std::fputs(DemoSummary(r).c_str(), stdout);
        run.exitCode = r["problems"].empty() ? 0 : 1;
    });
}

}  // namespace vultrane
