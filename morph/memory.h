// Writing merged morphs into the morph data the game has loaded, so a change shows at once.
#pragma once

#include <string>

#include "config/model.h"
#include "game/records.h"
#include "sliders/apply.h"

// The game's morph data loaded from `triPath` (a path below "data\"), found among the usable
// TRI entries of both loaded-resource lists by its path without regard to case; null if none.
MorphSet* FindLoadedMorphData(const std::string& triPath);

// The first morph record of `data` named exactly `name`; null (and, with `report`, two log
// lines) if none.
MorphRecord* FindLoadedMorph(MorphSet* data, const char* name, bool report);

// Patches the game's "NoseType33" morph of one loaded target with the target's main merged
// morph. Notes go to the pending log text; false when the target could not be patched.
bool ReplaceLoadedMorph(const RaceSetting& raceSetting, const std::string& targetPath, const SliderValueList& values,
                        int sexCode, const std::string& raceName);

// What SetMergedMorphsMemory and the face refresh share once they know the race set and sex:
// the TRI cache made sure of, every target of the sex replaced (at least 3, or all, must
// succeed; otherwise the pending notes and "    ERROR: failed to refresh Player face." are
// logged as one entry), then the slider values applied and the model update queued in any
// case. True when the face was refreshed.
bool RefreshFaceInMemory(PlayerCharacter* player, const RaceSetting& raceSetting, const std::string& raceName,
                         const SliderValueList& values, int sexCode);
