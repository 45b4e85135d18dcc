#include "persist/slots.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "base/log.h"
#include "config/configured_path.h"
#include "config/stream_lines.h"
#include "config/text.h"
#include "game/engine.h"
#include "os/os.h"

namespace {

constexpr const char* kSlotSubfolder = "\\My Games\\Skyrim\\VTR_save\\";
constexpr const char* kVersionLine = "# version: 2.0";

// Sliders whose game range was widened to -1.5..1.5: files written before the version line
// existed hold them on the old -1..1 scale.
constexpr std::array<int32_t, 18> kLegacyScaledIds = {12, 13, 14, 15, 16, 17, 18, 28, 29,
                                                      30, 35, 36, 37, 39, 40, 41, 42, 43};

bool IsLegacyScaled(int32_t id) {
    for (int32_t legacy : kLegacyScaledIds)
        if (legacy == id) return true;
    return false;
}

// The race set's name becomes part of a file name; a separator or a character Windows
// refuses would put the file elsewhere or make it unwritable.
bool FitsFileName(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
    return true;
}

// The slot file's name held to the rule of every configured path: one file in the slot folder.
bool StaysInSlotFolder(const std::string& fileName) {
    const os::ConfinedPath confined = os::ConfinePath("", fileName, "slot folder");
    return confined.ok && confined.path == fileName;
}

std::string SlotFileName(int slot, const RaceSetting& raceSetting) {
    // Appended piece by piece: GCC 12 warns falsely about chained operator+ on a literal.
    std::string name = "_";
    name += std::to_string(slot);
    name += '_';
    name += raceSetting.raceSetName;
    name += ".slot";
    return name;
}

// "%f" in the C locale, whatever locale the game has set.
void AppendFixed6(std::string& out, double value) {
    char buf[400];  // the largest double has 309 integer digits
    auto r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 6);
    out.append(buf, r.ptr);
}

// One line of a slot or preset file: comments (and the version line), or an id-value pair.
struct LineReader {
    bool legacy = true;
    size_t outOfRange = 0;
    FaceSlot& out;

    void Take(std::string_view raw) {
        const std::string line = Trim(raw);
        if (line.empty()) return;
        if (line[0] == '#') {
            if (line == kVersionLine) legacy = false;
            return;
        }
        const std::vector<std::string> parts = Split(line, ',');
        if (parts.size() < 2) return;
        const int32_t id = ReadInt(parts[0]);
        double value = ReadReal(parts[1]);
        if (legacy && IsLegacyScaled(id)) value *= 1.5;
        // An infinite slider value would spread through every morph and node it drives.
        if (!std::isfinite(value)) {
            ++outOfRange;
            return;
        }
        out.emplace_back(id, value);
    }

    void Report(const std::string& source) const {
        if (outOfRange)
            LogMessage("    WARNING: slot data: %lu values out of range ignored in %s",
                       static_cast<unsigned long>(outOfRange), source.c_str());
    }
};

bool ReadSlotFile(const std::string& path, FaceSlot& out) {
    FILE* f = os::OpenRead(path);
    if (!f) return false;
    LineReader reader{.out = out};
    std::string line;
    bool first = true;
    bool cut = false;  // the current line is longer than kMaxLineBytes
    int lineNumber = 0;
    // Editors may put a byte-order mark in front of the version line.
    auto take = [&] {
        if (lineNumber < INT32_MAX) ++lineNumber;
        if (cut) LogLineCut(path, lineNumber);
        if (first) StripByteOrderMark(line);
        first = false;
        reader.Take(line);
        line.clear();
        cut = false;
    };
    auto append = [&](std::string_view piece) {
        const size_t room = kMaxLineBytes - line.size();
        if (piece.size() > room) cut = true;
        line.append(piece.substr(0, std::min(room, piece.size())));
    };
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
        std::string_view chunk(buf, n);
        for (size_t at; (at = chunk.find('\n')) != std::string_view::npos;) {
            append(chunk.substr(0, at));
            take();
            chunk.remove_prefix(at + 1);
        }
        append(chunk);
    }
    if (!line.empty() || cut) take();
    std::fclose(f);
    reader.Report(path);
    return true;
}

const RaceDefinition* FindPresetDefinition(const std::string& raceName) {
    const std::vector<RaceDefinition>& defs = Config().raceDefinitions;
    // An empty item of a "name" or "edid" list (a doubled comma) names no race.
    if (!raceName.empty())
        for (const RaceDefinition& d : defs)
            for (const std::string& name : d.names)
                if (name == raceName) return &d;
    std::string editorId;
    if (PlayerCharacter* player = PlayerSingleton())
        if (TESRace* race = Player_Race(player))
            if (race->editorId.data) editorId = race->editorId.data;
    if (!editorId.empty())
        for (const RaceDefinition& d : defs)
            for (const std::string& id : d.editorIds)
                if (id == editorId) return &d;
    return nullptr;
}

bool ReadPreset(const std::string& raceName, int slot, FaceSlot& out) {
    const RaceDefinition* def = FindPresetDefinition(raceName);
    if (!def) return false;
    const int64_t preset = -1 - static_cast<int64_t>(slot);
    if (preset >= static_cast<int64_t>(def->presets.size())) return false;
    const std::string& name = def->presets[static_cast<size_t>(preset)];
    // A preset path that leaves the data folder is never opened (the loader logged it).
    if (!os::ConfinePath(kPresetDirectory, name, kDataFolderName).ok) return false;
    const std::string path = kPresetDirectory + name;
    StreamLineReader stream(path);
    if (!stream.IsValid()) return false;
    LineReader reader{.out = out};
    for (std::string line; stream.Next(line);) reader.Take(line);
    reader.Report(path);
    return true;
}

void LogCannotWrite(const std::string& path, const std::string& reason) {
    // The path and the reason hold the race set's name, which comes from a mod's file.
    LogMessage("    ERROR: cannot write slot data (%s)", LogEscape(path).c_str());
    LogMessage("        %s", LogEscape(reason).c_str());
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(os::ResolvePath(path), ec);
}

}  // namespace

std::string SlotFolder() {
    const std::string documents = os::DocumentsFolder();
    if (documents.empty()) return {};
    return documents + kSlotSubfolder;
}

std::string SlotFilePath(int slot, const RaceSetting& raceSetting) {
    const std::string folder = SlotFolder();
    if (folder.empty()) return {};
    return folder + SlotFileName(slot, raceSetting);
}

void MakeFolders(const std::string& path) {
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '\\' && path[i] != '/') continue;
        // The root ("/" or "") and a doubled separator name no folder of their own.
        if (i == 0 || path[i - 1] == '\\' || path[i - 1] == '/') continue;
        os::CreateFolder(path.substr(0, i));
    }
}

void WriteSlotFile(int slot, const RaceSetting& raceSetting, const SliderValueList& values, const std::string& raceName) {
    LogMessage("save slot %d", slot);
    const std::string fileName = SlotFileName(slot, raceSetting);
    const std::string folder = SlotFolder();
    if (folder.empty()) {
        LogCannotWrite(std::string(kSlotSubfolder + 1) + fileName,
                       "the user's documents folder is unknown, so there is no slot folder");
        return;
    }
    const std::string path = folder + fileName;
    if (!FitsFileName(raceSetting.raceSetName)) {
        LogCannotWrite(path, "the race set name \"" + raceSetting.raceSetName +
                                 "\" holds a character that a file name cannot hold");
        return;
    }
    if (!StaysInSlotFolder(fileName)) {
        LogCannotWrite(path, "the race set name \"" + raceSetting.raceSetName + "\" does not give a plain file name");
        return;
    }

    // A line break in the race name would start a line of its own and be read back as data.
    std::string race = raceName;
    for (char& c : race)
        if (c == '\r' || c == '\n') c = ' ';
    std::string text = "# Vultrane face data\n# character race: " + race + "\n" + kVersionLine +
                       "\n\n# 'uniqueID, value' pair\n";
    size_t skipped = 0;
    for (const auto& [id, value] : values) {
        // "nan" or "inf" would read back as 0; such a value is no slider position anyway.
        if (!std::isfinite(value)) {
            ++skipped;
            continue;
        }
        text += std::to_string(id);
        text += ", ";
        AppendFixed6(text, value);
        text += '\n';
    }
    text += "\n\n# --- skeleton data ---\n";
    // The skeleton lines are comments; one that is not (a node name with a line break) is
    // made one, so that it can never be read back as a value.
    std::string_view skeleton = SkeletonText();
    while (!skeleton.empty()) {
        size_t cut = skeleton.find('\n');
        std::string_view line = skeleton.substr(0, cut == std::string_view::npos ? skeleton.size() : cut + 1);
        if (line[0] != '#' && !Trim(line).empty()) text += "# ";
        text += line;
        skeleton.remove_prefix(line.size());
    }

    MakeFolders(path);
    os::ReplacingFile file;
    if (!file.Open(path, true)) {
        LogCannotWrite(path, file.Describe());
        return;
    }
    file.WriteText(text);
    if (!file.Commit()) {
        const std::string reason = IsFolder(path) ? std::string("a folder of that name stands where the file belongs")
                                                  : file.Describe();
        LogCannotWrite(path, reason + "; an earlier slot file is kept as it was");
        return;
    }
    if (skipped)
        LogMessage("    WARNING: slot data: %lu values that were not finite numbers were left out of %s",
                   static_cast<unsigned long>(skipped), path.c_str());
}

bool LoadFaceSlot(const RaceSetting& raceSetting, const std::string& raceName, int slot, FaceSlot& out) {
    out.clear();
    if (slot == 0) {
        out.emplace_back(-1, 0.0);
        return true;
    }
    if (slot < 0) return ReadPreset(raceName, slot, out);
    if (!FitsFileName(raceSetting.raceSetName) || !StaysInSlotFolder(SlotFileName(slot, raceSetting))) return false;
    const std::string path = SlotFilePath(slot, raceSetting);
    if (path.empty()) return false;
    return ReadSlotFile(path, out);
}
