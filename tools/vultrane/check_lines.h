// Every line of a race-set file checked on its own, as the game reads it, so that one run
// reports every problem of the file (the game stops at the first and drops the file).
#pragma once

#include <string>
#include <vector>

namespace vultrane {

struct LineFinding {
    int line = 0;  // 1-based
    bool error = true;
    std::string message;
    // For an unknown header key: the known key it most likely meant, if any.
    std::string meantKey;
};

// `lines[0]` is line 1, with line ends and a byte-order mark already gone.
std::vector<LineFinding> CheckRaceSetLines(const std::vector<std::string>& lines);

// uniqueIDs the menu gives its own entries (the vertex editor's and the colour picker's).
bool IsReservedMenuId(int id);

}  // namespace vultrane
