// The configuration model: race definitions, race sets, sliders and vertex-edit data, and
// the fixed vocabulary tables shared by the readers and their users.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Slider types.
enum : int32_t {
    kSliderMorphPair = 0,
    kSliderMorph = 1,
    kSliderNodeScale = 2,
    kSliderNodeMove = 3,
    kSliderPresetScale = 4,
    kSliderPlayerScale = 5,
    kSliderFixedMenu = 9,
    kSliderColourMenu = 10,
    kSliderExpression = 17,
    kSliderVertexEdit = 18,
    kSliderMergedDuplicate = 99,
};

// menuIndex markers of sliders without a game slider.
constexpr int32_t kMenuIndexNone = 101;
constexpr int32_t kMenuIndexNoneMorph = 102;

struct SliderDef {
    std::string name;
    int32_t menuIndex = 0;
    int32_t uniqueID = 0;
    uint32_t categoryMask = 0;
    float minValue = -1.0f;
    float maxValue = 1.0f;
    float interval = 0.1f;
    std::string target;
    std::string lowTarget;
    int32_t type = 0;
    std::string categoryName;
    std::vector<std::string> extraList;
    double offsetX = 0.0;
    double offsetY = 0.0;
    double offsetZ = 0.0;
    int32_t sexMask = 0;
};

struct MainVertexRecord {
    int32_t vertexID = 0;
    int32_t mirrorVertID = 0;
    int32_t uvPosX = 0;
    int32_t uvPosY = 0;
};

struct ExtraModelEntry {
    std::string name;
    std::vector<std::pair<int32_t, int32_t>> pairs;
};

struct VertexEditSexBlock {
    std::string name;
    int32_t vertexNum = 0;
    std::string uvMap;
    std::string vertexTints;
    std::vector<MainVertexRecord> mainRecords;
    std::vector<ExtraModelEntry> extraModels;
};

struct vertexEditData {
    VertexEditSexBlock female;  // sexCode 2
    VertexEditSexBlock male;    // sexCode 1
    std::string path;

    const VertexEditSexBlock& Block(int sexCode) const { return sexCode == 1 ? male : female; }
};

struct RaceSetting {
    std::string iniDirectory;
    std::string raceSetName;
    std::string raceMorph;
    std::vector<std::string> raceNames;
    std::vector<std::string> raceEditorIds;
    std::vector<std::vector<std::string>> fileSets;
    std::vector<std::string> fileSetNames;
    std::vector<std::vector<std::string>> maleFileSets;
    std::vector<std::string> maleFileSetNames;
    std::vector<SliderDef> sliders;
    vertexEditData* vertexEdit = nullptr;  // into vertexEditCache, not owned

    // Target list and source lists of a sex: the female ones for sexCode 2, else the male.
    const std::vector<std::string>& TargetNames(int sexCode) const {
        return sexCode == 2 ? fileSetNames : maleFileSetNames;
    }
    const std::vector<std::vector<std::string>>& SourceSets(int sexCode) const {
        return sexCode == 2 ? fileSets : maleFileSets;
    }
};

struct RaceDefinition {
    std::string sliderIni;
    std::vector<std::string> names;
    std::vector<std::string> editorIds;
    std::vector<std::string> presets;
};

// The process-wide configuration state; created empty, never cleared.
struct Configuration {
    std::vector<RaceSetting> raceSettings;
    std::vector<RaceDefinition> raceDefinitions;
    std::deque<vertexEditData> vertexEditCache;  // a deque keeps element addresses stable
    double sliderScale = 1.0;
    int32_t sliderStep = 1;
};
Configuration& Config();

// Index of the first slider with this uniqueID, a type other than 99 and a sexMask sharing
// a bit with sexCode; -1 when none.
int FindSliderForValue(const RaceSetting& raceSetting, int32_t uniqueID, int sexCode);

// The entries of a node-scale slider's extraList, in order: a node written with a leading "+"
// is moved and its entry spans five items (node, formula, x, y, z), any other is scaled and its
// entry spans two (node, formula). `visit(at, move)` gets the index of the entry's first item;
// a move entry may lack its offsets (at + 4 beyond the list).
template <class Visit>
void ForEachNodeEntry(const std::vector<std::string>& list, Visit visit) {
    for (size_t j = 0; j + 1 < list.size();) {
        const bool move = !list[j].empty() && list[j][0] == '+';
        visit(j, move);
        j += move ? 5 : 2;
    }
}

// ----- Vocabulary ------------------------------------------------------------------------------

extern const std::array<const char*, 7> kCategoryNames;       // "body" ... "hair"; code = index + 2
extern const std::array<const char*, 36> kFaceMorphNames;
extern const std::array<const char*, 3> kTypeMorphNames;

struct FixedMenuName {
    const char* name;
    int32_t menuIndex;
};
extern const std::array<FixedMenuName, 26> kFixedMenuNames;
// menuIndex of a fixed-menu name (lower case), or false.
bool FindFixedMenuIndex(const std::string& name, int32_t& menuIndex);

// Colour-menu uniqueIDs, in table order.
extern const std::array<int32_t, 14> kColourMenuIds;
bool IsColourMenuId(int32_t uniqueID);

// Game sliders: type-0 uniqueIDs with their menu index, and the type-1 ones.
struct GameSliderIndex {
    int32_t uniqueID;
    int32_t menuIndex;
};
extern const std::array<GameSliderIndex, 18> kGameSlidersType0;
extern const std::array<GameSliderIndex, 3> kGameSlidersType1;

// The configuration directory, relative to the game's folder.
constexpr const char* kConfigDirectory = "data\\Meshes\\Vultrane\\";
