// Merged .tri files written without the game, by the library's own cache and writer.
#pragma once

#include <string>
#include <vector>

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
    std::vector<std::string> problems;  // targets refused, and the library's errors and warnings
    std::vector<std::string> log;
};

// Throws UsageError for a folder without configuration.
MergeOutcome RunMerge(const MergeRequest& request);

// "ID=VALUE,ID=VALUE": false with `error` naming the first bad item.
bool ParseValueList(const std::string& text, SliderValueList& values, std::string& error);

}  // namespace vultrane
