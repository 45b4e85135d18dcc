// Loading the configuration directory: race definitions and settings from every .ini file,
// then each race-set file that a definition names.
#include "config/loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "config/text.h"
#include "os/os.h"
#include "base/log.h"

namespace {

// One line up to its line feed (not kept), with no length limit; false at the end.
bool ReadPlainLine(FILE* file, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

void EndDefinition(RaceDefinition& current, std::vector<RaceDefinition>& into) {
    if (!current.sliderIni.empty() && (!current.names.empty() || !current.editorIds.empty()))
        into.push_back(std::move(current));
    current = RaceDefinition{};
}

void ReadDefinitions(FILE* file, Configuration& config, std::vector<RaceDefinition>& into) {
    RaceDefinition current;
    std::string raw;
    bool first = true;
    while (ReadPlainLine(file, raw)) {
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
            current.sliderIni = ToLower(value);
        } else if (key == "name") {
            for (std::string& item : Split(value, ',')) current.names.push_back(std::move(item));
        } else if (key == "edid") {
            for (std::string& item : Split(value, ',')) current.editorIds.push_back(std::move(item));
        } else if (key == "preset") {
            for (std::string& item : Split(value, ',')) current.presets.push_back(std::move(item));
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
        ReadDefinitions(file, config, definitions);
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
            LogMessage("fail Load ini: %s", fullPath.c_str());
            continue;
        }
        LogMessage("Load ini: %s", fullPath.c_str());
        set.iniDirectory = directory + FolderOf(file);
        for (size_t i : definitionsOf[file]) {
            const RaceDefinition& d = config.raceDefinitions[i];
            set.raceNames.insert(set.raceNames.end(), d.names.begin(), d.names.end());
            set.raceEditorIds.insert(set.raceEditorIds.end(), d.editorIds.begin(), d.editorIds.end());
        }
        config.raceSettings.push_back(std::move(set));
    }
}
