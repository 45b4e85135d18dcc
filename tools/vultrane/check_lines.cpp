#include "tools/vultrane/check_lines.h"

#include <cmath>
#include <map>

#include "config/model.h"
#include "config/text.h"
#include "tools/vultrane/check_util.h"

namespace vultrane {

bool IsReservedMenuId(int id) { return (id >= 801 && id <= 808) || (id >= 980 && id <= 983); }

namespace {

const std::vector<std::string> kHeaderKeys = {"racesetname", "racemorph", "files", "mfiles"};
constexpr const char* kTypeCodes =
    "the type codes are 0 to 8, 10, 17 and 18 for women, the same plus 100 for men or plus 200 for both";
constexpr const char* kRejects = "; the game rejects the whole race-set file";

bool KnownType(int type) { return (type >= 0 && type <= 8) || type == 10 || type == 17 || type == 18; }

const char* SexWords(int sexMask) { return sexMask == 3 ? "both sexes" : sexMask == 1 ? "men" : "women"; }

class LineChecker {
public:
    std::vector<LineFinding> Run(const std::vector<std::string>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            line_ = static_cast<int>(i) + 1;
            const std::string l = Trim(lines[i]);
            if (l.empty() || l[0] == '#') continue;
            if (l[0] == '[') {
                EndPresetScale();
                Section(l);
            } else if (!inSection_) {
                Key(l);
            } else {
                Slider(l);
            }
        }
        EndPresetScale();
        return std::move(out_);
    }

private:
    void Add(bool error, std::string message, bool rejects = false, std::string meant = {}) {
        if (rejects) message += kRejects;
        out_.push_back({line_, error, std::move(message), std::move(meant)});
    }

    void Section(const std::string& l) {
        inSection_ = true;
        if (l.size() <= 2) {
            Add(true, "empty section header '" + l + "'", true);
            return;
        }
        const std::string inner = Trim(std::string_view(l).substr(1, l.size() - 2));
        if (l.back() != ']')
            Add(false, "section header '" + l + "' does not end in ']'; the game drops its last character anyway");
        if (inner.size() > 1 && inner[0] == '-') {
            const std::string name = ToLower(std::string_view(inner).substr(1));
            std::vector<std::string> known;
            for (const char* c : kCategoryNames) {
                if (name == c) return;
                known.push_back(c);
            }
            Add(true,
                "unknown category '" + l + "'" + DidYouMean(name, known) +
                    " (built-in: [-body], [-head], [-face], [-eyes], [-brow], [-mouth], [-hair]; a name without '-' "
                    "makes a category of your own)",
                true);
        }
    }

    void Key(const std::string& l) {
        const std::vector<std::string> parts = Split(l, '=');
        if (parts.size() != 2) {
            Add(true, "'" + l + "' is no key=value line; the game ignores it");
            return;
        }
        const std::string key = ToLower(parts[0]);
        if (key == "files" || key == "mfiles") {
            if (Split(parts[1], ',').size() < 2)
                Add(true, key + "= needs the target morph file and at least one source; the game ignores this line");
            return;
        }
        if (key == "racesetname" || key == "racemorph") return;
        const std::string meant = NearMatch(key, kHeaderKeys);
        Add(true,
            "unknown key '" + parts[0] + "'" + (meant.empty() ? "" : " (did you mean " + meant + "?)") +
                " (known: racesetname, racemorph, files, mfiles); the game ignores it",
            false, meant);
    }

    // A number item: true when the game reads what was meant.
    bool Whole(const std::string& what, const std::string& item, bool rejects = false) {
        const std::string problem = WholeNumberProblem(item);
        if (problem.empty()) return true;
        Add(true, what + " " + problem + "; write the number alone", rejects);
        return false;
    }
    bool Real(const std::string& what, const std::string& item) {
        const std::string problem = RealNumberProblem(item);
        if (problem.empty()) return true;
        Add(true, what + " " + problem);
        return false;
    }

    void Slider(const std::string& l) {
        const std::vector<std::string> items = Split(l, ',');
        if (items.empty() || items[0].empty()) {
            EndPresetScale();
            Add(true, "the label is empty", true);
            return;
        }
        if (items[0][0] == '-' && items.size() >= 2) {
            EndPresetScale();
            FixedMenu(items);
            return;
        }
        if (items.size() < 3) {
            EndPresetScale();
            Add(true, "a slider line needs a label, a uniqueID and a type code: '" + l + "'", true);
            return;
        }
        const int32_t id = ReadInt(items[1]);
        const int32_t code = ReadInt(items[2]);
        const int32_t type = code >= 200 ? code - 200 : code >= 100 ? code - 100 : code;
        const int sexMask = code >= 200 ? 3 : code >= 100 ? 1 : 2;
        // A type-4 line right after its slider (the same uniqueID) is one of its rows.
        if (type == 4 && presetScaleLine_ && id == presetScaleId_) {
            ++presetScaleRows_;
            PresetRow(items);
            return;
        }
        EndPresetScale();
        Whole("uniqueID", items[1]);
        Whole("type code", items[2]);
        if (id < 1) {
            Add(true, "the uniqueID must be a whole number of 1 or more", true);
            return;
        }
        if (IsReservedMenuId(id))
            Add(true, "uniqueID " + std::to_string(id) +
                          " is one the menu gives its own entries (801 to 808 for the vertex editor, 980 to 983 for the "
                          "colour picker): the list would show two entries under it; pick another");
        if (!KnownType(type)) {
            Add(true, "unknown slider type " + std::to_string(type) + " (type code " + std::to_string(code) + "); " + kTypeCodes,
                true);
            return;
        }
        const size_t n = items.size();
        auto need = [&](size_t count, const char* what) {
            if (n >= count) return true;
            Add(true, std::string("type ") + std::to_string(type) + " needs " + what, true);
            return false;
        };
        switch (type) {
            case 0:
                if (need(5, "a low morph and a high morph") && (items[3].empty() || items[4].empty()))
                    Add(true, "a morph name is empty", true);
                break;
            case 1:
                if (need(4, "a morph name")) {
                    if (items[3].empty()) Add(true, "the morph name is empty", true);
                    if (n >= 5 && Whole("maximum", items[4]) && ReadInt(items[4]) < 0)
                        Add(true, "maximum " + items[4] + " is below 0: the menu's range 0 to " + items[4] +
                                      " runs backwards; give a positive maximum");
                }
                break;
            case 2:
                if (need(5, "a node and a maximum")) {
                    if (items[3].empty() || items[3] == "+" || items[3] == "*") Add(true, "the node name is empty", true);
                    Maximum(items[4]);
                }
                break;
            case 3:
                if (need(8, "a node, a maximum and x, y, z")) {
                    if (items[3].empty()) Add(true, "the node name is empty", true);
                    Maximum(items[4]);
                    for (size_t k = 5; k < 8; ++k) Real(std::string(1, char('x' + (k - 5))) + ":", items[k]);
                }
                break;
            case 4:
                presetScaleLine_ = line_;
                presetScaleId_ = id;
                presetScaleRows_ = 0;
                presetScaleName_ = items[0];
                if (n >= 4 && Whole("maximum", items[3]) && ReadInt(items[3]) < 0)
                    Add(true, "maximum " + items[3] + " is below 0; give the number of the last row");
                break;
            case 5:
                if (need(4, "a maximum")) Maximum(items[3]);
                break;
            case 10:
                need(4, "a target");
                break;
            default: break;
        }
        Duplicate(id, sexMask, items[0], false);
    }

    void Maximum(const std::string& item) {
        // One out of range is the slider check's (the menu gets an endless slider).
        if (!std::isfinite(ReadReal(item))) return;
        if (!Real("maximum", item)) return;
        const double m = ReadReal(item);
        if (m < 0)
            Add(true, "maximum " + item + " is negative: the menu's range becomes " + Trim(item).substr(1) + " to " + item +
                          ", backwards; give the maximum as a positive number");
    }

    void PresetRow(const std::vector<std::string>& items) {
        // Pairs of node and scale from the fourth item on.
        if (items.size() > 3 && (items.size() - 3) % 2 == 1)
            Add(false, "the row's last item '" + items.back() + "' has no scale after it; the game ignores it");
        for (size_t k = 4; k < items.size(); k += 2) Real("scale of '" + items[k - 1] + "':", items[k]);
    }

    void EndPresetScale() {
        if (presetScaleLine_ && presetScaleRows_ == 0) {
            const int here = line_;
            line_ = presetScaleLine_;
            Add(true, "type-4 slider '" + presetScaleName_ +
                          "' has no rows: each following line with the same label, uniqueID and type code lists the "
                          "nodes and scales of one position of the slider; without them it does nothing");
            line_ = here;
        }
        presetScaleLine_ = 0;
    }

    void FixedMenu(const std::vector<std::string>& items) {
        const std::string name = ToLower(Trim(std::string_view(items[0]).substr(1)));
        if (name.empty()) {
            Add(true, "the fixed-menu name is empty", true);
            return;
        }
        Whole("uniqueID", items[1]);
        if (ReadInt(items[1]) < 1) {
            Add(true, "the uniqueID must be a whole number of 1 or more", true);
            return;
        }
        int32_t index = 0;
        if (!FindFixedMenuIndex(name, index)) {
            std::vector<std::string> known;
            std::string list;
            for (const FixedMenuName& f : kFixedMenuNames) {
                known.push_back(f.name);
                list += std::string(list.empty() ? "" : ", ") + "-" + f.name;
            }
            const std::string meant = NearMatch(name, known);
            Add(true,
                "unknown fixed-menu name '" + items[0] + "'" + (meant.empty() ? "" : " (did you mean -" + meant + "?)") +
                    " (known: " + list + ")",
                true);
            return;
        }
        Duplicate(ReadInt(items[1]), 3, name, true);
    }

    // A uniqueID used again under another name: for slider lines only within one sex mask.
    void Duplicate(int32_t id, int sexMask, const std::string& name, bool fixedMenu) {
        for (const Record& r : records_) {
            if (r.id != id || (!fixedMenu && r.sexMask != sexMask)) continue;
            if (r.name == name) break;  // the same slider listed in another category
            Add(true,
                "uniqueID " + std::to_string(id) + " is already used by '" + r.name + "' at line " + std::to_string(r.line) +
                    (fixedMenu ? "" : std::string(" for ") + SexWords(sexMask)),
                true);
            break;
        }
        records_.push_back({id, sexMask, name, line_});
    }

    struct Record {
        int32_t id;
        int sexMask;
        std::string name;
        int line;
    };
    std::vector<LineFinding> out_;
    std::vector<Record> records_;
    int line_ = 0;
    bool inSection_ = false;
    int presetScaleLine_ = 0;
    int32_t presetScaleId_ = 0;
    int presetScaleRows_ = 0;
    std::string presetScaleName_;
};

}  // namespace

std::vector<LineFinding> CheckRaceSetLines(const std::vector<std::string>& lines) { return LineChecker().Run(lines); }

}  // namespace vultrane
