#include "plugin/face_refresh.h"

#include <algorithm>
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

// Trim's rule on a view: blanks, tabs and commas at the start; those, carriage returns and line
// feeds at the end.
std::string_view TrimField(std::string_view t) {
    size_t b = 0, e = t.size();
    while (b < e && (t[b] == ' ' || t[b] == '\t' || t[b] == ',')) ++b;
    while (e > b && (t[e - 1] == ' ' || t[e - 1] == '\t' || t[e - 1] == ',' || t[e - 1] == '\r' || t[e - 1] == '\n')) --e;
    return t.substr(b, e - b);
}

void TakePair(FaceData& out, std::string_view idField, std::string_view valueField, bool legacy) {
    const int32_t id = ReadInt(idField);
    double value = ReadReal(valueField);
    if (legacy && IsLegacyScaled(id)) value *= 1.5;
    // An infinite slider value would spread through every morph and node it drives.
    if (!std::isfinite(value)) {
        ++out.droppedValues;
        return;
    }
    out.values.emplace_back(id, value);
}

}  // namespace

FaceData ParseFaceData(std::string_view text) {
    FaceData out;
    // One pass over the fields as Split would give them (pieces between commas, trimmed; a
    // comma at the very end gives no last field), without keeping them: only the race name
    // and the pairs are stored. The pairs' room is taken once from the count of commas, so a
    // text of nothing but commas (16 bytes a pair for every 2 bytes) needs 8 times its size at
    // most, with no doubling on top.
    const size_t commas = static_cast<size_t>(std::count(text.begin(), text.end(), ','));
    out.values.reserve(commas / 2);
    bool legacy = true;
    std::string_view id;
    size_t start = 0;
    while (start < text.size()) {
        const size_t cut = text.find(',', start);
        const size_t end = cut == std::string_view::npos ? text.size() : cut;
        const std::string_view field = TrimField(text.substr(start, end - start));
        start = cut == std::string_view::npos ? text.size() : cut + 1;
        const size_t index = out.fieldCount++;
        if (index == 0) {
            out.raceName = std::string(field);
        } else if (index % 2 == 1) {
            id = field;
        } else if (id == "version") {
            legacy = false;
        } else {
            TakePair(out, id, field, legacy);
        }
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
        LogMessage("    WARNING: system: no race found from Papyrus call. (%s)", LogEscape(data.raceName).c_str());
        return;
    }
    LogMessage("match race: %s", LogEscape(data.raceName).c_str());

    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    const RaceSetting& raceSetting = Config().raceSettings[static_cast<size_t>(index)];
    RefreshFaceInMemory(player, raceSetting, data.raceName, data.values, sexCode);
    LogMessage("info: refresh Player face end.");
}
