// The slider list as GetList hands it to the menu, for a simulated player.
#pragma once

#include <string>
#include <vector>

#include "tools/vultrane/cli_common.h"

namespace vultrane {

struct SliderRequest {
    std::string folder;
    std::string race;
    int sex = 1;
    bool hasFacialHair = false;  // GetList's default unless MaxID is 45
    bool hasBrows = true;
    // A host-simulator world file whose player (race, sex, skeleton) is used instead.
    std::string world;
};

struct SliderListing {
    bool listed = false;   // false: no race set for the player, nothing listed
    Json records = Json::array();  // GetList's records, members in its order, the last "isLimitedMode"
    std::string matchLine;         // GetList's "match race: ..." line
    std::string raceSetName;       // the race set that served the player
    std::string raceHint;          // the race listed in another letter case, when it matched only so
    std::vector<std::string> log;
};

SliderListing ListSliders(const SliderRequest& request);

}  // namespace vultrane
