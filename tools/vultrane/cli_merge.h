// Merged .tri files written without the game, by the library's own cache and writer.
#pragma once

#include <string>
#include <vector>

#include "config/model.h"
#include "sliders/apply.h"

namespace vultrane {

struct MergeRequest {
    std::string folder;  // a mod's Data folder or a game folder
    std::string race;
    int sex = 1;         // 0 male, 1 female
    SliderValueList values;
    std::string outDir;  // taken as a game folder: files land at the targets' paths below it
};

struct MergedTarget {
    std::string target;  // as the race set names it
    std::string path;    // the file written; empty when nothing was
};

struct MergeOutcome {
    std::string raceName;     // as race matching left it
    std::string raceSetName;  // empty when no race set serves the race
    std::vector<MergedTarget> targets;
    std::vector<std::string> problems;  // targets refused, no value for a slider, the library's errors and warnings
    std::vector<int32_t> unmatchedIds;  // uniqueIDs of the values that no slider of the set takes
    std::string raceHint;               // a race of another letter case, when the race matched only so
    std::vector<std::string> log;
};

// Throws UsageError for a folder without configuration.
MergeOutcome RunMerge(const MergeRequest& request);

// The uniqueIDs of `values` that no slider of `set` takes for `sexCode`, each once, in order
// (the menu's own ids and the colours stored under negated ids are not counted).
std::vector<int32_t> IdsWithoutSlider(const RaceSetting& set, const SliderValueList& values, int sexCode);

// "ID=VALUE, ID=VALUE" (blanks around items allowed): false with `error` naming the first bad item.
bool ParseValueList(const std::string& text, SliderValueList& values, std::string& error);

}  // namespace vultrane
