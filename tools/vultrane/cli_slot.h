// Slot and preset files as JSON and back, through the library's slot reader and writer.
#pragma once

#include <string>
#include <vector>

#include "persist/slots.h"
#include "tools/vultrane/check_lines.h"
#include "tools/vultrane/cli_common.h"

namespace vultrane {

struct SlotDocument {
    std::string race;                   // the "# character race:" line; empty when none
    FaceSlot pairs;                     // as the library reads them (old files' values scaled)
    std::vector<std::string> skeleton;  // the lines after "# --- skeleton data ---"
};

// The documents folder pointed at a temporary folder while this lives, so the library's slot
// reader and writer work on files of the user's choosing and never touch the real slots.
class ScopedDocuments {
public:
    ScopedDocuments();
    ~ScopedDocuments();
    ScopedDocuments(const ScopedDocuments&) = delete;
    ScopedDocuments& operator=(const ScopedDocuments&) = delete;
    // The real path of the library's slot file `slot` of race set `raceSetName`.
    std::string SlotPath(int slot, const std::string& raceSetName) const;

private:
    std::string folder_;
    std::string previous_;  // the override it replaced: scopes nest (a merge inside a test's scope)
};

// What a slot or preset file's lines hold, line by line: `refusal` (line 0 when none) is the
// first line that is no 'uniqueID, value' pair, which means the file is not one of them;
// warnings are pairs the game reads other than they look (a decimal comma, junk, 1e999).
struct SlotTextFindings {
    LineFinding refusal;
    std::vector<LineFinding> warnings;
};
SlotTextFindings CheckSlotText(const std::string& bytes);

// Reads a slot or preset file; false with `error` (a sentence naming the file, and the line
// for a file that is no slot or preset file) when it cannot be read. `log` gets only problems:
// warnings as "FILE:LINE: warning: ..." and the library's own, naming the user's file.
bool ReadSlotDocument(const std::string& path, SlotDocument& doc, std::vector<std::string>& log, std::string& error);
// The slot file bytes the library writes for `doc`.
bool WriteSlotDocument(const SlotDocument& doc, std::string& bytes, std::vector<std::string>& log, std::string& error);

Json SlotToJson(const SlotDocument& doc);
// Checks every part of the JSON; false with one line per rejected part (its JSON path and why).
bool SlotFromJson(const Json& json, SlotDocument& doc, std::vector<std::string>& rejected);

}  // namespace vultrane
