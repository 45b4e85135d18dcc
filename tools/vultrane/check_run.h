// `vultrane check`: a mod's configuration loaded as the game loads it, with every problem the
// game would report, reject or silently ignore turned into a message at its file and line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vultrane {

struct Diagnostic {
    std::string file;  // as the user names it: the checked folder joined with the path below it
    int line = 0;      // 0 when the problem belongs to the whole file
    bool error = true; // false: a warning (the game still uses everything)
    std::string message;
};

struct CheckReport {
    std::vector<Diagnostic> diagnostics;  // by file, then line
    size_t filesChecked = 0;
    size_t Errors() const;
    size_t Warnings() const;
    size_t FilesWithProblems() const;
};

// Throws UsageError when `folder` holds no configuration folder.
CheckReport CheckDataFolder(const std::string& folder);

// "path:line: error: message" lines and the summary, or one JSON document.
void PrintCheckReport(const CheckReport& report, bool json, std::ostream& out);

}  // namespace vultrane
