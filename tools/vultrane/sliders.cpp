// vultrane sliders: the sliders the character-creation menu lists for a player, exactly as
// GetList hands them over.
#include <cstdio>
#include <filesystem>
#include <set>

#include "config/model.h"
#include "game/sim/sim.h"
#include "sliders/race_match.h"
#include "sliders/slider_list.h"
#include "tools/hostsim/json_in.h"
#include "tools/hostsim/world.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_sliders.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/game_folder.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

// Without a world file the player has every node the race sets' node sliders name, as the
// game's skeletons do; sliders whose node is missing would otherwise all vanish.
void GiveSkeleton(PlayerCharacter* player) {
    (void)player;
    NiNode* root = sim::AddNode(nullptr, "NPC Root [Root]");
    std::set<std::string> names;
    for (const RaceSetting& set : Config().raceSettings)
        for (const SliderDef& s : set.sliders)
            if ((s.type == 2 || s.type == 3) && !s.target.empty() && names.insert(s.target).second)
                sim::AddNode(root, s.target);
    sim::UpdateTree(root);
    sim::Player_SetRoot3D(root);
}

Json Record(const SliderListEntry& e) {
    Json r = {{"text", e.text},       {"filterFlag", e.filterFlag}, {"uniqueID", e.uniqueID},
              {"type", e.type},       {"sliderMax", NumJson(e.sliderMax)}, {"sliderMin", NumJson(e.sliderMin)},
              {"interval", NumJson(e.interval)}, {"categoryName", e.categoryName}};
    if (e.hasSliderID) r["sliderID"] = e.sliderID;
    if (e.vertexBlock) {
        r["vertexNum"] = e.vertexBlock->vertexNum;
        r["tintPic"] = e.vertexBlock->vertexTints;
        r["uvMapPic"] = e.vertexBlock->uvMap;
        Json list = Json::array();
        for (const MainVertexRecord& v : e.vertexBlock->mainRecords)
            list.push_back({{"vertexID", v.vertexID}, {"mirrorVertID", v.mirrorVertID}, {"UVPosX", v.uvPosX},
                            {"UVPosY", v.uvPosY}});
        r["vertexList"] = list;
    }
    return r;
}

}  // namespace

SliderListing ListSliders(const SliderRequest& request) {
    const std::string world = request.world.empty() ? "" : fs::absolute(request.world).string();
    SliderListing out;
    GameSession session(request.folder);
    session.LoadConfiguration();
    PlayerCharacter* player = nullptr;
    if (!world.empty()) {
        std::string text = hostsim::ReadTextFile(world, "world");
        hostsim::BuildWorld(hostsim::ParseJson(text, "world"), fs::path(world).parent_path().string());
        player = sim::Player();
        if (!player) throw UsageError("--world: the world file has no player");
    } else {
        player = session.SetPlayer(request.race, request.sex);
        GiveSkeleton(player);
    }
    SliderListResult list;
    out.listed = BuildSliderList(player, request.race, request.hasFacialHair, request.hasBrows, list);
    if (out.listed) {
        for (const SliderListEntry& e : list.entries) out.records.push_back(Record(e));
        out.records.push_back({{"isLimitedMode", list.isLimitedMode}});
        out.matchLine = "match race: " + list.raceName + list.message;
        std::string race = request.race;
        const int index = FindPlayerRaceSetting(race);
        if (index >= 0) out.raceSetName = Config().raceSettings[static_cast<size_t>(index)].raceSetName;
    }
    if (!request.race.empty()) out.raceHint = RaceCaseHint(request.race);
    out.log = session.LogLines();
    return out;
}

namespace {

struct SlidersOptions {
    std::string folder, race, sex = "female", world;
    bool facialHair = false, noBrows = false, json = false;
};

void Execute(const SlidersOptions& o, Run& run) {
    SliderRequest r{o.folder, o.race, ParseSex(o.sex, "--sex"), o.facialHair, !o.noBrows, o.world};
    if (r.world.empty() && r.race.empty()) throw UsageError("--race is required (or --world FILE)");
    if (!r.world.empty()) {
        std::error_code ec;
        if (!fs::is_regular_file(r.world, ec)) throw UsageError("--world: '" + r.world + "' is not a file");
    }
    SliderListing l;
    try {
        l = ListSliders(r);
    } catch (const hostsim::InputError& e) {
        throw UsageError(std::string("--world: ") + e.what());
    }
    const std::vector<std::string> problems = Problems(l.log);
    if (o.json) {
        PrintJson({{"race", r.race}, {"listed", l.listed}, {"raceSet", l.raceSetName}, {"raceHint", l.raceHint},
                   {"records", l.records}, {"match", l.matchLine}, {"log", l.log}});
    } else if (!l.listed) {
        std::printf("no race set serves this player: the menu lists nothing\n");
    } else {
        std::vector<std::vector<std::string>> rows;
        bool limited = false;
        for (const Json& rec : l.records) {
            if (rec.contains("isLimitedMode")) {
                limited = rec["isLimitedMode"].get<bool>();
                continue;
            }
            // The menu gets floats widened to doubles; six digits show them as declared.
            auto num = [&](const char* key) {
                if (!rec.contains(key)) return std::string("-");
                if (!rec[key].is_number() || rec[key].is_number_integer()) return rec[key].dump();
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.6g", rec[key].get<double>());
                return std::string(buf);
            };
            std::string text = rec["text"].get<std::string>();
            if (rec.contains("vertexList")) text += " (" + std::to_string(rec["vertexList"].size()) + " vertices)";
            rows.push_back({text, num("uniqueID"), num("type"), num("sliderMin"), num("sliderMax"), num("interval"),
                            rec["categoryName"].get<std::string>(), num("sliderID"), num("filterFlag")});
        }
        std::fputs(FormatTable({"text", "uniqueID", "type", "min", "max", "step", "category", "sliderID", "filterFlag"},
                               rows, {false, true, true, true, true, true, false, true, true})
                       .c_str(),
                   stdout);
        std::printf("\n%zu records; limited mode: %s\n%s\nrace set: %s\n", rows.size(), limited ? "yes" : "no",
                    l.matchLine.c_str(), l.raceSetName.c_str());
    }
    if (!o.json && !l.raceHint.empty()) std::printf("note: %s\n", l.raceHint.c_str());
    for (const std::string& p : problems) std::fprintf(stderr, "vultrane: %s\n", p.c_str());
    run.exitCode = l.listed && problems.empty() ? 0 : 1;
}

}  // namespace

void AddSlidersCommand(CLI::App& app, Run& run) {
    auto o = std::make_shared<SlidersOptions>();
    CLI::App* c = app.add_subcommand("sliders", "The slider list as GetList hands it to the menu");
    c->add_option("DATA_FOLDER", o->folder, "a mod's Data folder (Meshes/Vultrane/) or a game folder")->required();
    c->add_option("--race", o->race, "the player's race (display name and editor id)");
    c->add_option("--sex", o->sex, "female or male (default female)");
    c->add_flag("--facial-hair", o->facialHair, "the menu has the facial-hair entry (GetList's MaxID 45)");
    c->add_flag("--no-brows", o->noBrows, "the menu has no brows entry");
    c->add_option("--world", o->world,
                  "a host-simulator world file whose player (race, sex, skeleton) is listed for; without it the "
                  "player has every node the race sets name");
    c->add_flag("--json", o->json, "print GetList's records as JSON");
    c->footer("Exit status: 0 listed, 1 nothing listed or the configuration has problems, 2 bad arguments.");
    c->callback([o, &run] { Execute(*o, run); });
}

}  // namespace vultrane
