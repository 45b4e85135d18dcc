// Writing the main merged morph over the game's loaded "NoseType33" morph of each target.
#include "morph/memory.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "game/engine.h"
#include "game/player.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"

namespace {

constexpr const char* kReplacedMorph = "NoseType33";

// A TRI entry worth reading: in use, tagged "tri" and holding morph data.
bool Counts(const TriEntry* e) { return e && e->unk00 != 0 && e->tag == kTriEntryTag && e->morphSet; }

bool EqualsLower(const char* text, const std::string& lowerKey) {
    size_t i = 0;
    for (; text[i]; ++i) {
        if (i >= lowerKey.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerKey[i]) return false;
    }
    return i == lowerKey.size();
}

struct Search {
    std::string key;
    MorphSet* found = nullptr;
};

bool Visit(TriEntry* e, void* context) {
    auto* s = static_cast<Search*>(context);
    if (!Counts(e) || !e->morphSet->fileName) return false;
    if (!EqualsLower(e->morphSet->fileName, s->key)) return false;
    s->found = e->morphSet;
    return true;
}

const BGSHeadPart* FacePart(const TESNPC* npc) {
    if (!npc->headparts) return nullptr;
    for (uint32_t i = 0; i < npc->numHeadParts; ++i) {
        const BGSHeadPart* part = npc->headparts[i];
        if (part && part->type == kHeadPart_Face) return part;
    }
    return nullptr;
}

void NoteNotLoaded(const std::string& targetPath, const std::string& raceName) {
    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    const BGSHeadPart* face = npc ? FacePart(npc) : nullptr;
    if (face) {
        const char* headModel = face->chargenMorph.name.data ? face->chargenMorph.name.data : "";
        PendingLog_Append("    ERROR: requested .tri model is NOT on memory.\n        requested model from .ini : " +
                          LogEscape(targetPath) + "\n" + "        player raceName           : " + LogEscape(raceName) +
                          "\n" + "        player base head model    : " + LogEscape(headModel) + "\n" +
                          "        system too heavy or unsupported race ?\n");
    } else {
        PendingLog_Append("    ERROR: requested .tri model is not on memory: " + LogEscape(targetPath) + "\n" +
                          "           system too heavy or unsupported race ?\n");
    }
}

}  // namespace

MorphSet* FindLoadedMorphData(const std::string& triPath) {
    if (triPath.size() <= 5) return nullptr;  // no file name after "data\"
    Search s;
    s.key = triPath.substr(5);
    for (char& c : s.key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    LoadedResourceTable_Visit(Visit, &s);
    if (!s.found) LoadedResourceArray_Visit(Visit, &s);
    return s.found;
}

MorphRecord* FindLoadedMorph(MorphSet* data, const char* name, bool report) {
    if (data && data->morphData.entries) {
        // The game keeps the count signed; a negative one holds nothing.
        const auto count = static_cast<int32_t>(data->morphData.count);
        for (int32_t i = 0; i < count; ++i) {
            MorphRecord& r = data->morphData.entries[i];
            if (r.name && std::strcmp(r.name, name) == 0) return &r;
        }
    }
    if (report) {
        LogMessage("    ERROR: no morph found on memory. (%s)", name);
        LogMessage("           please try to re-install .tri files.");
    }
    return nullptr;
}

bool ReplaceLoadedMorph(const RaceSetting& raceSetting, const std::string& targetPath, const SliderValueList& values,
                        int sexCode, const std::string& raceName) {
    Log_Once(LogOnce().replaceStart, "info: replace morph on memory, check start.");
    MorphSet* data = FindLoadedMorphData(targetPath);
    if (!data) {
        NoteNotLoaded(targetPath, raceName);
        return false;
    }
    PendingLog_Append("    ok: requested .tri model is on memory\n      model:" + LogEscape(targetPath) +
                      " raceName:" + LogEscape(raceName) + "\n");
    const TriFile* tri = FindCachedTri(targetPath);
    if (!tri || tri->vertexCount == 0) {
        LogMessage("    ERROR: empty morphSource for : %s", LogEscape(targetPath).c_str());
        return false;
    }
    const uint32_t vertexCount = tri->vertexCount;
    const MergedMorph merged = BuildMergedMorph(values, raceSetting, targetPath, *tri, vertexCount, sexCode, kMergeMain);
    if (!merged.usable) return false;  // logged by BuildMergedMorph; the game's morph stays
    MorphRecord* record = FindLoadedMorph(data, kReplacedMorph, true);
    if (!record) return false;

    // Nothing in game memory is resized: the game's buffer holds exactly the vertices both of
    // its counts name, so only an exact match is written.
    if (record->diffData && record->diffVertexNum == record->baseVertexNum && record->diffVertexNum == vertexCount) {
        record->baseDiff = merged.scale;
        const size_t have = std::min<size_t>(merged.deltas.size(), vertexCount);
        std::memcpy(record->diffData, merged.deltas.data(), have * sizeof(TriDelta));
        std::memset(record->diffData + have * 3, 0, (vertexCount - have) * sizeof(TriDelta));
        Log_Once(LogOnce().replaceSuccess, "info: replace morph on memory, success.");
        return true;
    }
    LogMessage("    ERROR: invalid targetTri or unmatched vertexNum. (%s)", LogEscape(targetPath).c_str());
    LogMessage("           please try to re-install .tri files.");
    return false;
}

bool RefreshFaceInMemory(PlayerCharacter* player, const RaceSetting& raceSetting, const std::string& raceName,
                         const SliderValueList& values, int sexCode) {
    EnsureTriCache(raceName, sexCode, raceSetting);
    PendingLog_Clear();
    const std::vector<std::string>& targets = raceSetting.TargetNames(sexCode);
    size_t patched = 0;
    for (const std::string& target : targets)
        if (ReplaceLoadedMorph(raceSetting, target, values, sexCode, raceName)) ++patched;
    const bool refreshed = patched >= 3 || patched == targets.size();
    if (!refreshed) PendingLog_FlushWith("    ERROR: failed to refresh Player face.");
    ApplySliderValues(raceSetting, values, sexCode);
    if (player) QueueModelUpdate(player, false);
    return refreshed;
}
