// Vertex-edit files: per sex, a main model with four-number records and extra models with
// vertex pairs; each file is read once and kept for the life of the process.
#include <cstdint>

#include "config/loader.h"
#include "config/stream_lines.h"
#include "config/text.h"
#include "base/log.h"

vertexEditData* GetVertexEditData(const std::string& path) {
    Configuration& config = Config();
    for (vertexEditData& cached : config.vertexEditCache)
        if (cached.path == path) return &cached;
    vertexEditData fresh;
    if (!ParseVertexEditFile(fresh, path)) return nullptr;
    fresh.path = path;
    config.vertexEditCache.push_back(std::move(fresh));
    return &config.vertexEditCache.back();  // a deque keeps it in place as the cache grows
}

bool ParseVertexEditFile(vertexEditData& data, const std::string& path) {
    const std::string shortPath = DataRelativePath(path);
    StreamLineReader reader(shortPath);
    if (!reader.IsValid()) {
        LogMessage("    ERROR: system: %s not exist", LogEscape(shortPath).c_str());
        return false;
    }
    enum class Category { None, Main, Extra };
    Category category = Category::None;
    VertexEditSexBlock* block = &data.female;
    // Index of the current extra entry in block->extraModels; none until an extra section's
    // first line.
    bool haveExtra = false;
    size_t extra = 0;
    int lineNumber = 0;
    auto fail = [&](const char* format) {
        LogMessage(format, lineNumber, LogEscape(shortPath).c_str());
        return false;
    };

    std::string raw;
    while (reader.Next(raw)) {
        if (lineNumber < INT32_MAX) ++lineNumber;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            haveExtra = false;
            if (line.size() <= 2) continue;
            std::string inner = ToLower(Trim(std::string_view(line).substr(1, line.size() - 2)));
            if (inner == "mainmodel") {
                category = Category::Main, block = &data.female;
            } else if (inner == "mainmodel_m") {
                category = Category::Main, block = &data.male;
            } else if (inner == "extramodel") {
                category = Category::Extra, block = &data.female;
            } else if (inner == "extramodel_m") {
                category = Category::Extra, block = &data.male;
            } else {
                return fail("    ERROR: ini: unknown category name at line %d in %s");
            }
            continue;
        }
        if (category == Category::None) continue;

        std::vector<std::string> keyValue = Split(line, '=');
        if (category == Category::Main) {
            if (keyValue.size() == 2) {
                std::string key = ToLower(keyValue[0]);
                const std::string& value = keyValue[1];
                if (key == "name") {
                    block->name = value;
                } else if (key == "vertexnum") {
                    block->vertexNum = ReadInt(value);
                } else if (key == "uvmap") {
                    block->uvMap = value;
                } else if (key == "vertextints") {
                    block->vertexTints = value;
                } else {
                    return fail("    ERROR: ini: unknown \"entryName=\" at line %d in %s");
                }
                continue;
            }
            std::vector<std::string> items = Split(line, ',');
            if (items.size() < 4) return fail("    ERROR: ini: unknown mainCategory data at line %d in %s");
            for (size_t i = 0; i + 3 < items.size(); i += 4) {
                block->mainRecords.push_back(
                    {ReadInt(items[i]), ReadInt(items[i + 1]), ReadInt(items[i + 2]), ReadInt(items[i + 3])});
            }
            continue;
        }

        if (!haveExtra) {
            block->extraModels.emplace_back();
            extra = block->extraModels.size() - 1;
            haveExtra = true;
        }
        ExtraModelEntry& entry = block->extraModels[extra];
        if (keyValue.size() == 2) {
            if (ToLower(keyValue[0]) != "name")
                return fail("    ERROR: ini: unknown \"entryName=\" at line %d in %s");
            entry.name = keyValue[1];
            continue;
        }
        std::vector<std::string> items = Split(line, ',');
        if (items.size() < 2) return fail("    ERROR: ini: unknown extraCategory data at line %d in %s");
        for (size_t i = 0; i + 1 < items.size(); i += 2)
            entry.pairs.emplace_back(ReadInt(items[i]), ReadInt(items[i + 1]));
    }
    return true;
}
