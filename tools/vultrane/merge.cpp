// vultrane merge: the merged .tri files that SetMergedMorphs would write for a player, written
// without the game into a folder of the user's choosing.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "config/model.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "persist/slots.h"
#include "sliders/race_match.h"
#include "tools/vultrane/check_lines.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_merge.h"
#include "tools/vultrane/cli_slot.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/game_folder.h"
#include "tools/vultrane/progress.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

std::string Blankless(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool ParseValueList(const std::string& text, SliderValueList& values, std::string& error) {
    values.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        // Blanks around items, ids and values are allowed, as in the .ini files ("28=0.5, 1100=7").
        const std::string item = Blankless(text.substr(start, end - start));
        start = end + 1;
        const size_t eq = item.find('=');
        if (eq == std::string::npos) {
            error = "\"" + item + "\" is not ID=VALUE";
            return false;
        }
        const std::string idText = Blankless(item.substr(0, eq)), valueText = Blankless(item.substr(eq + 1));
        int32_t id = 0;
        auto r = std::from_chars(idText.data(), idText.data() + idText.size(), id);
        if (idText.empty() || r.ec != std::errc() || r.ptr != idText.data() + idText.size()) {
            error = "\"" + idText + "\" in \"" + item + "\" is not a 32-bit integer id";
            return false;
        }
        double value = 0.0;
        auto v = std::from_chars(valueText.data(), valueText.data() + valueText.size(), value);
        if (valueText.empty() || v.ec != std::errc() || v.ptr != valueText.data() + valueText.size() ||
            !std::isfinite(value)) {
            error = "\"" + valueText + "\" in \"" + item + "\" is not a finite number";
            return false;
        }
        values.emplace_back(id, value);
    }
    return true;
}

size_t DistinctIds(const SliderValueList& values) {
    std::set<int32_t> ids;
    for (const auto& [id, v] : values) ids.insert(id);
    return ids.size();
}

std::vector<int32_t> IdsWithoutSlider(const RaceSetting& set, const SliderValueList& values, int sexCode) {
    std::vector<int32_t> out;
    for (const auto& [id, v] : values) {
        // A colour menu stores its colour under the negated id, slot 0 holds -1, and the menu's
        // own entries (vertex editor, colour picker) are in every slot.
        const bool menuOwn = id == -1 || IsReservedMenuId(id) ||
                             (id < 0 && id != INT32_MIN && FindSliderForValue(set, -id, sexCode) >= 0);
        if (menuOwn || FindSliderForValue(set, id, sexCode) >= 0) continue;
        if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
    }
    return out;
}

MergeOutcome RunMerge(const MergeRequest& request) {
    // Relative paths are the user's; the session changes the current folder.
    const fs::path outDir = fs::absolute(request.outDir);
    MergeOutcome result;
    GameSession session(request.folder);
    session.SetPlayer(request.race, request.sex);
    session.LoadConfiguration();
    result.raceName = request.race;
    const int index = FindPlayerRaceSetting(result.raceName);
    result.raceHint = RaceCaseHint(request.race);
    if (index < 0) {
        result.problems.push_back("no race set serves the race \"" + request.race + "\"");
        result.log = session.LogLines();
        return result;
    }
    const RaceSetting& set = Config().raceSettings[static_cast<size_t>(index)];
    result.raceSetName = set.raceSetName;
    const int sexCode = request.sex + 1;
    result.unmatchedIds = IdsWithoutSlider(set, request.values, sexCode);
    if (!request.values.empty() && result.unmatchedIds.size() == DistinctIds(request.values))
        result.problems.push_back("none of the values' uniqueIDs is a slider of race set " + set.raceSetName + " for " +
                                  (request.sex ? "women" : "men") + ": the merged files hold no slider's change");
    // Another folder may have filled the cache for the same race and sex.
    ClearTriCache();
    Quietly([&] { EnsureTriCache(result.raceName, sexCode, set); });

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) throw std::runtime_error("cannot create " + outDir.string() + ": " + ec.message());
    // The writer takes its targets relative to the current folder, as the game's.
    const fs::path gameFolder = fs::current_path();
    fs::current_path(outDir);
    const std::vector<std::string>& targets = set.TargetNames(sexCode);
    Progress progress("merging", targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        const std::string& target = targets[i];
        MergedTarget t{target, {}};
        if (!StaysBelow(target)) {
            result.problems.push_back("target \"" + target + "\" leads out of the output folder; not written");
        } else {
            Quietly([&] {
                MakeFolders(target);
                if (WriteMergedTri(set, target, request.values, sexCode))
                    t.path = (outDir / Slashes(target)).lexically_normal().string();
            });
        }
        result.targets.push_back(t);
        progress.Step(i + 1);
    }
    progress.Done();
    fs::current_path(gameFolder);
    for (const std::string& l : Problems(session.LogLines())) result.problems.push_back(l);
    result.log = session.LogLines();
    ClearTriCache();
    return result;
}

namespace {

struct MergeOptions {
    std::string folder, race, sex = "female", slot, values, out;
    bool json = false;
};

void Execute(const MergeOptions& o, Run& run) {
    MergeRequest r;
    r.folder = o.folder;
    r.race = o.race;
    r.sex = ParseSex(o.sex, "--sex");
    r.outDir = o.out;
    if (o.slot.empty() == o.values.empty()) throw UsageError("give either --slot FILE or --values ID=VALUE,...");
    if (!o.slot.empty()) {
        std::error_code ec;
        if (!fs::is_regular_file(o.slot, ec)) throw UsageError("--slot: '" + o.slot + "' is not a file");
        SlotDocument doc;
        std::vector<std::string> log;
        std::string error;
        if (!ReadSlotDocument(o.slot, doc, log, error)) throw std::runtime_error(error);
        for (const std::string& l : log) std::fprintf(stderr, "vultrane: %s\n", l.c_str());
        r.values = doc.pairs;
    } else {
        std::string error;
        if (!ParseValueList(o.values, r.values, error)) throw UsageError("--values: " + error);
    }
    const MergeOutcome m = RunMerge(r);
    size_t written = 0;
    for (const MergedTarget& t : m.targets) written += !t.path.empty();
    if (o.json) {
        Json targets = Json::array();
        for (const MergedTarget& t : m.targets)
            targets.push_back({{"target", t.target}, {"written", t.path.empty() ? Json(nullptr) : Json(t.path)}});
        Json values = Json::array();
        for (const auto& [id, v] : r.values) values.push_back({{"uniqueID", id}, {"value", v}});
        PrintJson({{"race", m.raceName}, {"raceSet", m.raceSetName}, {"sex", r.sex ? "female" : "male"},
                   {"values", values}, {"unmatchedIds", m.unmatchedIds}, {"raceHint", m.raceHint},
                   {"targets", targets}, {"problems", m.problems}, {"log", m.log}});
    } else {
        if (!m.raceSetName.empty())
            std::printf("race %s (%s), race set %s: %zu values merged\n", m.raceName.c_str(),
                        r.sex ? "female" : "male", m.raceSetName.c_str(), r.values.size());
        for (const MergedTarget& t : m.targets)
            std::printf("  %s\n    %s\n", t.target.c_str(), t.path.empty() ? "(not written)" : t.path.c_str());
        if (m.targets.empty() && !m.raceSetName.empty()) std::printf("  the race set has no targets for this sex\n");
        if (!m.unmatchedIds.empty() && m.unmatchedIds.size() < DistinctIds(r.values)) {
            std::string ids;
            for (int32_t id : m.unmatchedIds) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
            std::printf("note: no slider of race set %s for %s has uniqueID %s; those values are ignored\n",
                        m.raceSetName.c_str(), r.sex ? "women" : "men", ids.c_str());
        }
        if (!m.raceHint.empty()) std::printf("note: %s\n", m.raceHint.c_str());
        for (const std::string& p : m.problems) std::printf("problem: %s\n", p.c_str());
    }
    run.exitCode = m.problems.empty() && written == m.targets.size() && !m.raceSetName.empty() ? 0 : 1;
}

}  // namespace

void AddMergeCommand(CLI::App& app, Run& run) {
    auto o = std::make_shared<MergeOptions>();
    CLI::App* c = app.add_subcommand("merge", "Write the merged .tri files that SetMergedMorphs would write, without the game");
    c->add_option("DATA_FOLDER", o->folder, "a mod's Data folder (Meshes/Vultrane/) or a game folder")->required();
    c->add_option("--race", o->race, "the player's race (display name and editor id)")->required();
    c->add_option("--sex", o->sex, "female or male (default female)");
    c->add_option("--slot", o->slot, "take the values from a slot or preset file");
    c->add_option("--values", o->values, "the values: \"ID=VALUE, ID=VALUE, ...\"");
    c->add_option("--out", o->out, "output folder, taken as the game folder (files land at DIR/data/meshes/...)")
        ->required();
    c->add_flag("--json", o->json, "print JSON");
    c->footer("Values whose uniqueID no slider of the race set takes are named and ignored, as the game ignores "
              "them. Exit status: 0 every target written, 1 a target not written, no value for any slider, or the "
              "library reported a problem, 2 bad arguments.");
    c->callback([o, &run] { Execute(*o, run); });
}

}  // namespace vultrane
