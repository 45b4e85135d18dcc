// Race-set files: a header of keys, then sections of slider and fixed-menu lines.
#include <cstdint>
#include <unordered_map>

#include "config/configured_path.h"
#include "config/loader.h"
#include "config/stream_lines.h"
#include "config/text.h"
#include "base/log.h"
#include "base/numeric.h"

namespace {

constexpr int32_t kSexMale = 1;
constexpr int32_t kSexFemale = 2;
constexpr int32_t kSexBoth = 3;

bool IsValidSlider(const SliderDef& s) {
    if (s.name.empty() || s.uniqueID < 1) return false;
    switch (s.type) {
        case 4: case 6: case 7: case 8: case 17: case 18:
            return true;
        case 1: case 2: case 3: case 5: case 10:
            return !s.target.empty();
        case 0:
            return !s.target.empty() && !s.lowTarget.empty();
        default:
            return false;
    }
}

// A symmetric range -M to M stepped in fifteenths.
void SetSymmetricRange(SliderDef& s, double m) {
    s.maxValue = NarrowToFloat(m);
    s.minValue = NarrowToFloat(-m);
    s.interval = NarrowToFloat(m / 15.0);
}

void SetGameSliderIndex(SliderDef& s) {
    if (s.type == kSliderMorphPair) {
        for (const GameSliderIndex& g : kGameSlidersType0) {
            if (g.uniqueID == s.uniqueID) {
                s.menuIndex = g.menuIndex;
                s.minValue = -1.5f;
                s.maxValue = 1.5f;
                s.interval = 0.1f;
                break;
            }
        }
        if (s.menuIndex == 0) s.menuIndex = kMenuIndexNone;
    } else if (s.type == kSliderMorph) {
        for (const GameSliderIndex& g : kGameSlidersType1)
            if (g.uniqueID == s.uniqueID) s.menuIndex = g.menuIndex;
        if (s.menuIndex == 0) s.menuIndex = kMenuIndexNoneMorph;
    } else {
        s.menuIndex = kMenuIndexNone;
    }
}

uint64_t IdMaskKey(int32_t uniqueID, int32_t sexMask) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(uniqueID)) << 32) | static_cast<uint32_t>(sexMask);
}

class RaceSetParser {
public:
    RaceSetParser(const std::string& directory, const std::string& fileName)
        : directory_(directory), path_(DataRelativePath(directory + fileName)) {
        // Sources are relative to the race set's own folder, vertex-edit files to the
        // configuration folder; both below the data folder.
        const size_t cut = fileName.find_last_of("\\/");
        setFolder_ = DataRelativePath(directory + (cut == std::string::npos ? std::string() : fileName.substr(0, cut + 1)));
        configFolder_ = DataRelativePath(directory);
    }

    RaceSetting Run() {
        StreamLineReader reader(path_);
        if (!reader.IsValid()) {
            LogMessage("    ERROR: system: %s not exist", LogEscape(path_).c_str());
            return {};
        }
        std::string raw;
        while (reader.Next(raw)) {
            if (lineNumber_ < INT32_MAX) ++lineNumber_;
            std::string line = Trim(raw);
            if (line.empty() || line[0] == '#') continue;
            bool ok = true;
            if (line[0] == '[')
                ok = Header(line);
            else if (sectionCode_ == 0)
                KeyLine(line);  // the header before the first section holds keys only
            else
                ok = SliderLine(line);
            if (!ok) {
                result_.raceSetName.clear();
                return std::move(result_);
            }
        }
        if (result_.raceSetName.empty())
            LogMessage("    ERROR: ini: invalid data (no raceSetName) in %s", LogEscape(path_).c_str());
        return std::move(result_);
    }

private:
    bool Fail(const char* format) {
        LogMessage(format, lineNumber_, LogEscape(path_).c_str());
        return false;
    }

    bool Header(const std::string& line) {
        if (line.size() <= 2) return Fail("    ERROR: ini: unknown category name at line %d in %s");
        std::string inner = Trim(std::string_view(line).substr(1, line.size() - 2));
        // Blanks between the brackets name no section; an author's slip, reported like any
        // unknown name rather than opening a section without a name.
        if (inner.empty()) return Fail("    ERROR: ini: unknown category name at line %d in %s");
        if (inner[0] == '-' && inner.size() > 1) {
            std::string name = ToLower(std::string_view(inner).substr(1));
            for (size_t i = 0; i < kCategoryNames.size(); ++i) {
                if (name == kCategoryNames[i]) {
                    sectionCode_ = static_cast<uint32_t>(i) + 2;
                    sectionName_ = kCategoryNames[i];
                    return true;
                }
            }
            return Fail("    ERROR: ini: unknown category name at line %d in %s");
        }
        sectionCode_ = customCounter_ + 9;
        ++customCounter_;
        sectionName_ = inner;
        return true;
    }

    void KeyLine(const std::string& line) {
        std::vector<std::string> parts = Split(line, '=');
        if (parts.size() != 2) return;
        std::string key = ToLower(parts[0]);
        const std::string& value = parts[1];
        if (key == "racesetname") {
            result_.raceSetName = value;
        } else if (key == "racemorph") {
            result_.raceMorph = value;
        } else if (key == "files" || key == "mfiles") {
            std::vector<std::string> items = Split(value, ',');
            if (items.size() < 2) return;
            bool male = key == "mfiles";
            // A path that leaves its folder is never opened: a refused target keeps its place in
            // the list with no sources (nothing is read for it, and its writer refuses it too); a
            // refused source is left out.
            std::vector<std::string> sources;
            const bool targetOk = AcceptConfiguredPath("", items[0], kGameFolderName, path_, lineNumber_);
            for (size_t i = 1; i < items.size(); ++i)
                if (AcceptConfiguredPath(setFolder_, items[i], kDataFolderName, path_, lineNumber_) && targetOk)
                    sources.push_back(items[i]);
            (male ? result_.maleFileSetNames : result_.fileSetNames).push_back(items[0]);
            (male ? result_.maleFileSets : result_.fileSets).push_back(std::move(sources));
        }
    }

    bool SliderLine(const std::string& line) {
        std::vector<SliderDef>& sliders = result_.sliders;
        sliders.emplace_back();
        SliderDef& s = sliders.back();
        s.categoryMask = 1u << (sectionCode_ % 32);
        s.categoryName = sectionName_;
        std::vector<std::string> items = Split(line, ',');
        if (items.empty() || items[0].empty()) return Fail("    ERROR: ini: invalid data at line %d in %s");
        if (items[0][0] == '-' && items.size() >= 2) return FixedMenuLine(s, items);

        if (items.size() < 3) return Fail("    ERROR: ini: invalid data at line %d in %s");
        s.name = items[0];
        s.uniqueID = ReadInt(items[1]);
        int32_t code = ReadInt(items[2]);
        if (code >= 200) {
            s.type = code - 200;
            s.sexMask = kSexBoth;
        } else if (code >= 100) {
            s.type = code - 100;
            s.sexMask = kSexMale;
        } else {
            s.type = code;
            s.sexMask = kSexFemale;
        }
        s.minValue = 0.0f;
        s.maxValue = 10.0f;
        s.interval = 1.0f;

        const size_t n = items.size();
        switch (s.type) {
            case kSliderMorphPair:
                if (n >= 5) {
                    s.lowTarget = items[3];
                    s.target = items[4];
                    s.minValue = -1.0f;
                    s.maxValue = 1.0f;
                    s.interval = 1.0f / 15.0f;
                }
                break;
            case kSliderMorph:
                if (n >= 4) {
                    s.target = items[3];
                    s.minValue = 0.0f;
                    s.maxValue = n >= 5 ? static_cast<float>(ReadInt(items[4])) : 30.0f;
                }
                break;
            case kSliderNodeScale:
                if (n >= 5) {
                    s.target = items[3];
                    if (!s.target.empty() && (s.target[0] == '+' || s.target[0] == '*'))
                        s.target = Trim(std::string_view(s.target).substr(1));
                    SetSymmetricRange(s, ReadReal(items[4]));
                    s.extraList.reserve(n - 3);
                    s.extraList.push_back(items[3]);
                    s.extraList.push_back("x");
                    s.extraList.insert(s.extraList.end(), items.begin() + 5, items.end());
                }
                break;
            case kSliderNodeMove:
                if (n >= 8) {
                    s.target = items[3];
                    SetSymmetricRange(s, ReadReal(items[4]));
                    s.offsetX = ReadReal(items[5]);
                    s.offsetY = ReadReal(items[6]);
                    s.offsetZ = ReadReal(items[7]);
                }
                break;
            case kSliderPresetScale:
                if (sliders.size() >= 2 && sliders[sliders.size() - 2].uniqueID == s.uniqueID) {
                    std::string row;
                    for (size_t i = 3; i + 1 < n; i += 2) row += items[i] + "," + items[i + 1] + ",";
                    sliders.pop_back();  // `s` is gone from here on
                    sliders.back().extraList.push_back(std::move(row));
                    return true;
                }
                if (n >= 4) {
                    s.maxValue = static_cast<float>(ReadInt(items[3]));
                    s.target = "presetScale";
                    s.minValue = 0.0f;
                    s.interval = 1.0f;
                }
                break;
            case kSliderPlayerScale:
                if (n >= 4) {
                    SetSymmetricRange(s, ReadReal(items[3]));
                    s.target = "playerscale";
                }
                break;
            case kSliderColourMenu:
                if (n >= 4) s.target = items[3];
                break;
            case kSliderExpression:
                s.target = "expression";
                s.minValue = 0.0f;
                s.maxValue = 100.0f;
                s.interval = 1.0f;
                break;
            case kSliderVertexEdit:
                if (n >= 4) {
                    s.target = items[3];
                    // Refused like a file that is missing: the race set is not loaded.
                    if (!AcceptConfiguredPath(configFolder_, items[3], kDataFolderName, path_, lineNumber_)) return false;
                    result_.vertexEdit = GetVertexEditData(directory_ + items[3]);
                    if (!result_.vertexEdit) return Fail("    ERROR: ini: invalid data at line %d in %s");
                }
                break;
            default:
                break;
        }

        if (!IsValidSlider(s)) return Fail("    ERROR: ini: invalid data at line %d in %s");
        SetGameSliderIndex(s);

        // Duplicate search over the earlier sliders, through indexes of the first slider per
        // uniqueID and per (uniqueID, sexMask) so that a long file stays linear.
        size_t self = sliders.size() - 1;
        auto found = firstByIdMask_.find(IdMaskKey(s.uniqueID, s.sexMask));
        if (found != firstByIdMask_.end()) {
            SliderDef& earlier = sliders[found->second];
            if (earlier.name != s.name) return Fail("    ERROR: ini: this uniqueID is already used at line %d in %s");
            earlier.categoryMask |= s.categoryMask;
            s.type = kSliderMergedDuplicate;
        }
        Remember(self);
        return true;
    }

    bool FixedMenuLine(SliderDef& s, const std::vector<std::string>& items) {
        s.name = ToLower(Trim(std::string_view(items[0]).substr(1)));
        s.uniqueID = ReadInt(items[1]);
        if (s.name.empty() || s.uniqueID < 1) return Fail("    ERROR: ini: invalid data at line %d in %s");
        s.type = IsColourMenuId(s.uniqueID) ? kSliderColourMenu : kSliderFixedMenu;
        s.sexMask = kSexBoth;
        if (!FindFixedMenuIndex(s.name, s.menuIndex))
            return Fail("    ERROR: ini: unknown fixed-menu name at line %d in %s");
        size_t self = result_.sliders.size() - 1;
        auto found = firstById_.find(s.uniqueID);
        if (found != firstById_.end()) {
            SliderDef& earlier = result_.sliders[found->second];
            if (earlier.name != s.name) return Fail("    ERROR: ini: this uniqueID is already used at line %d in %s");
            earlier.categoryMask |= s.categoryMask;
            s.type = kSliderMergedDuplicate;
        }
        Remember(self);
        return true;
    }

    void Remember(size_t index) {
        const SliderDef& s = result_.sliders[index];
        firstById_.emplace(s.uniqueID, index);
        firstByIdMask_.emplace(IdMaskKey(s.uniqueID, s.sexMask), index);
    }

    std::string directory_;
    std::string path_;
    std::string setFolder_;
    std::string configFolder_;
    RaceSetting result_;
    int lineNumber_ = 0;
    uint32_t sectionCode_ = 0;
    std::string sectionName_;
    uint32_t customCounter_ = 1;
    std::unordered_map<int32_t, size_t> firstById_;
    std::unordered_map<uint64_t, size_t> firstByIdMask_;
};

}  // namespace

RaceSetting ParseRaceSetFile(const std::string& directory, const std::string& fileName) {
    return RaceSetParser(directory, fileName).Run();
}
