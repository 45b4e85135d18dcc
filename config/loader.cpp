// Loading the configuration directory: race definitions and settings from every .ini file,
// then each race-set file that a definition names.
#include "config/loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "config/configured_path.h"
#include "config/stream_lines.h"
#include "config/text.h"
#include "os/os.h"
#include "base/log.h"

namespace {

// One line up to its line feed (not kept), at most kMaxLineBytes of it kept; false at the end.
// `cut` tells whether the line was longer.
bool ReadPlainLine(FILE* file, std::string& line, bool& cut) {
    line.clear();
    cut = false;
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxLineBytes)
            line.push_back(static_cast<char>(c));
        else
            cut = true;
    }
    return any;
}

// The configuration folder of a definition file's data-relative path.
std::string ConfigDirectoryOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

void EndDefinition(RaceDefinition& current, std::vector<RaceDefinition>& into) {
    if (!current.sliderIni.empty() && (!current.names.empty() || !current.editorIds.empty()))
        into.push_back(std::move(current));
    current = RaceDefinition{};
}

void ReadDefinitions(FILE* file, const std::string& path, Configuration& config, std::vector<RaceDefinition>& into) {
    RaceDefinition current;
    std::string raw;
    bool first = true;
    bool cut = false;
    int lineNumber = 0;
    while (ReadPlainLine(file, raw, cut)) {
        if (lineNumber < INT32_MAX) ++lineNumber;
        if (cut) LogLineCut(path, lineNumber);
        if (first) StripByteOrderMark(raw);
        first = false;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            EndDefinition(current, into);
            continue;
        }
        std::vector<std::string> parts = Split(line, '=');
        if (parts.size() != 2) continue;
        std::string key = ToLower(parts[0]);
        const std::string& value = parts[1];
        if (key == "sliderscale") {
            double scale = ReadReal(value);
            // An overflowing number would give the menu an endless range; treat it as unset.
            config.sliderScale = (scale == 0.0 || !std::isfinite(scale)) ? 1.0 : scale;
        } else if (key == "sliderstep") {
            int32_t step = ReadInt(value);
            config.sliderStep = step == 0 ? 1 : step;
        } else if (key == "sliderini") {
            // A race-set file outside the data folder is never read; the definition is dropped.
            if (AcceptConfiguredPath(ConfigDirectoryOf(path), value, kDataFolderName, path, lineNumber))
                current.sliderIni = ToLower(value);
            else
                current.sliderIni.clear();
        } else if (key == "name") {
            for (std::string& item : Split(value, ',')) current.names.push_back(std::move(item));
        } else if (key == "edid") {
            for (std::string& item : Split(value, ',')) current.editorIds.push_back(std::move(item));
        } else if (key == "preset") {
            // A refused preset keeps its place (presets are chosen by position); its reader
            // refuses it again and reads nothing.
            for (std::string& item : Split(value, ',')) {
                if (!item.empty()) AcceptConfiguredPath(kPresetDirectory, item, kDataFolderName, path, lineNumber);
                current.presets.push_back(std::move(item));
            }
        }
    }
    EndDefinition(current, into);
}

// The folder part of a race-set path, with its separator: "sub\" for "sub\set.ini".
std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

void LoadConfiguration(const std::string& directoryIn) {
    if (directoryIn.empty()) {
        LogMessage("    ERROR: cannot access .ini directory.");
        return;
    }
    std::string directory = directoryIn;
    if (directory.back() != '\\') directory += '\\';

    std::vector<os::DirEntry> entries;
    if (!os::ListDirectory(directory + "*.ini", entries)) {
        LogMessage("    ERROR: cannot access .ini.");
        return;
    }
    std::vector<std::string> names;
    for (os::DirEntry& e : entries)
        if (!e.isDirectory && !e.isHidden) names.push_back(std::move(e.name));
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        LogMessage("    ERROR: cannot access .ini.");
        return;
    }

    Configuration& config = Config();
    // A run that accepted nothing leaves no race set behind; the next run reads the same files
    // again, so its definitions replace the earlier ones instead of piling up beside them.
    if (config.raceSettings.empty()) config.raceDefinitions.clear();

    std::vector<RaceDefinition> definitions;
    for (const std::string& name : names) {
        FILE* file = os::OpenRead(directory + name);
        if (!file) {
            LogMessage("    ERROR: system: %s not exist", name.c_str());
            continue;
        }
        ReadDefinitions(file, DataRelativePath(directory + name), config, definitions);
        std::fclose(file);
    }
    for (RaceDefinition& d : definitions) config.raceDefinitions.push_back(std::move(d));

    // Distinct race-set files in order of first mention, each with its definitions in order.
    std::vector<std::string> setFiles;
    std::unordered_map<std::string, std::vector<size_t>> definitionsOf;
    for (size_t i = 0; i < config.raceDefinitions.size(); ++i) {
        const std::string& file = config.raceDefinitions[i].sliderIni;
        auto [it, added] = definitionsOf.try_emplace(file);
        if (added) setFiles.push_back(file);
        it->second.push_back(i);
    }

    for (const std::string& file : setFiles) {
        const std::string fullPath = directory + file;
        RaceSetting set = ParseRaceSetFile(directory, file);
        if (set.raceSetName.empty()) {
            LogMessage("fail Load ini: %s", LogEscape(fullPath).c_str());
            continue;
        }
        LogMessage("Load ini: %s", LogEscape(fullPath).c_str());
        set.iniDirectory = directory + FolderOf(file);
        for (size_t i : definitionsOf[file]) {
            const RaceDefinition& d = config.raceDefinitions[i];
            set.raceNames.insert(set.raceNames.end(), d.names.begin(), d.names.end());
            set.raceEditorIds.insert(set.raceEditorIds.end(), d.editorIds.begin(), d.editorIds.end());
        }
        config.raceSettings.push_back(std::move(set));
    }
}
