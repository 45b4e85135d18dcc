#include "config/model.h"

Configuration& Config() {
    static auto* config = new Configuration();  // lives until the process ends
    return *config;
}

int FindSliderForValue(const RaceSetting& raceSetting, int32_t uniqueID, int sexCode) {
    for (size_t i = 0; i < raceSetting.sliders.size(); ++i) {
        const SliderDef& s = raceSetting.sliders[i];
        if (s.uniqueID == uniqueID && s.type != kSliderMergedDuplicate && (s.sexMask & sexCode) != 0)
            return static_cast<int>(i);
    }
    return -1;
}

const std::array<const char*, 7> kCategoryNames = {"body", "head", "face", "eyes", "brow", "mouth", "hair"};

const std::array<const char*, 36> kFaceMorphNames = {
    "EyesMoveDown", "EyesMoveUp",  "EyesMoveIn",  "EyesMoveOut", "EyesBack",    "EyesForward",
    "BrowDown",     "BrowUp",      "BrowIn",      "BrowOut",     "BrowBack",    "BrowForward",
    "NoseDown",     "NoseUp",      "NoseShort",   "NoseLong",    "JawNarrow",   "JawWide",
    "JawUp",        "JawDown",     "JawBack",     "JawForward",  "CheeksDown",  "CheeksUp",
    "CheeksIn",     "CheeksOut",   "LipMoveDown", "LipMoveUp",   "LipMoveIn",   "LipMoveOut",
    "ChinThin",     "ChinWide",    "ChinMoveUp",  "ChinMoveDown", "Overbite",   "Underbite"};

const std::array<const char*, 3> kTypeMorphNames = {"EyesType", "LipType", "NoseType"};

const std::array<FixedMenuName, 26> kFixedMenuNames = {{
    {"sex", -1},          {"presets", 0},        {"skintone", 1},         {"weight", 2},
    {"complexion", 3},    {"dirt", 4},           {"dirtcolor", 5},        {"scars", 6},
    {"warpaint", 7},      {"warpaintcolor", 8},  {"hair", 9},             {"haircolor", 10},
    {"lipcolor", 44},     {"eyecolor", 12},      {"eyelinercolor", 16},   {"eyeshadow", 17},
    {"eyetint", 18},      {"browtype", 19},      {"cheekcolor", 31},      {"laughlines", 32},
    {"cheekcolorlower", 33}, {"nosecolor", 34},  {"chincolor", 35},       {"neckcolor", 36},
    {"foreheadcolor", 37}, {"facialhair", 99},
}};

bool FindFixedMenuIndex(const std::string& name, int32_t& menuIndex) {
    for (const FixedMenuName& f : kFixedMenuNames) {
        if (name == f.name) {
            menuIndex = f.menuIndex;
            return true;
        }
    }
    return false;
}

const std::array<int32_t, 14> kColourMenuIds = {46, 3, 19, 20, 21, 22, 23, 24, 25, 31, 32, 33, 44, 10};

bool IsColourMenuId(int32_t uniqueID) {
    for (int32_t id : kColourMenuIds)
        if (id == uniqueID) return true;
    return false;
}

const std::array<GameSliderIndex, 18> kGameSlidersType0 = {{
    {28, 13}, {29, 14}, {30, 15}, {35, 20}, {36, 21}, {37, 22}, {12, 24}, {13, 25}, {14, 26},
    {15, 27}, {16, 28}, {17, 29}, {18, 30}, {39, 39}, {40, 40}, {41, 41}, {42, 42}, {43, 43},
}};

const std::array<GameSliderIndex, 3> kGameSlidersType1 = {{{26, 11}, {38, 38}, {11, 23}}};
