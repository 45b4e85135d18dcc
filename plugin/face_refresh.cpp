#include "plugin/face_refresh.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "config/text.h"
#include "game/engine.h"
#include "game/player.h"
#include "morph/memory.h"
#include "sliders/race_match.h"

namespace {

// Sliders whose game range was widened to -1.5..1.5: texts written before the "version" key
// existed hold them on the old -1..1 scale (slot files use the same set).
constexpr std::array<int32_t, 18> kLegacyScaledIds = {28, 29, 30, 35, 36, 37, 12, 13, 14,
                                                      15, 16, 17, 18, 39, 40, 41, 42, 43};

bool IsLegacyScaled(int32_t id) {
    for (int32_t legacy : kLegacyScaledIds)
        if (legacy == id) return true;
    return false;
}

}  // namespace

FaceData ParseFaceData(std::string_view text) {
    FaceData out;
    const std::vector<std::string> fields = Split(text, ',');
    out.fieldCount = fields.size();
    if (fields.empty()) return out;
    out.raceName = fields[0];
    bool legacy = true;
    for (size_t i = 1; i + 1 < fields.size(); i += 2) {
        if (fields[i] == "version") {
            legacy = false;
            continue;
        }
        const int32_t id = ReadInt(fields[i]);
        double value = ReadReal(fields[i + 1]);
        if (legacy && IsLegacyScaled(id)) value *= 1.5;
        // An infinite slider value would spread through every morph and node it drives.
        if (!std::isfinite(value)) {
            ++out.droppedValues;
            continue;
        }
        out.values.emplace_back(id, value);
    }
    return out;
}

void RefreshPlayerFace(std::string_view text) {
    LogMessage("info: refresh Player face start.");
    FaceData data = ParseFaceData(text);
    if (data.fieldCount < 2) return;
    if (data.droppedValues)
        LogMessage("    WARNING: face data: %lu values out of range ignored.",
                   static_cast<unsigned long>(data.droppedValues));

    // The scripts may call before the menu has ever loaded the configuration.
    if (Config().raceSettings.empty()) LoadConfiguration(kConfigDirectory);

    PlayerCharacter* player = PlayerSingleton();
    bool morphsUnsupported = false;
    const int index = player ? FindRaceSetting(player, data.raceName, nullptr, morphsUnsupported) : -1;
    if (index < 0) {
        LogMessage("    WARNING: system: no race found from Papyrus call. (%s)", data.raceName.c_str());
        return;
    }
    LogMessage("match race: %s", data.raceName.c_str());

    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    const RaceSetting& raceSetting = Config().raceSettings[static_cast<size_t>(index)];
    RefreshFaceInMemory(player, raceSetting, data.raceName, data.values, sexCode);
    LogMessage("info: refresh Player face end.");
}
