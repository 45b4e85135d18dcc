#include "tools/vultrane/check_run.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "config/loader.h"
#include "config/model.h"
#include "config/text.h"
#include "game/engine.h"
#include "morph/merge.h"
#include "morph/tri_format.h"
#include "os/os.h"
#include "sliders/formula.h"
#include "tools/vultrane/check_lines.h"
#include "tools/vultrane/check_util.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/game_folder.h"
#include "tools/vultrane/progress.h"

namespace vultrane {

namespace fs = std::filesystem;

size_t CheckReport::Errors() const {
    return static_cast<size_t>(std::count_if(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& d) { return d.error; }));
}
size_t CheckReport::Warnings() const { return diagnostics.size() - Errors(); }
size_t CheckReport::FilesWithProblems() const {
    std::set<std::string> files;
    for (const Diagnostic& d : diagnostics) files.insert(d.file);
    return files.size();
}

namespace {

std::string Lower(const std::string& s) { return ToLower(s); }

std::string Backslashes(std::string p) {
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

const char* SexWord(int sexCode) { return sexCode == 2 ? "women" : "men"; }

// A text file's lines as the library's readers see them: split at line feeds, the carriage
// return and a leading byte-order mark gone.
struct TextFile {
    bool exists = false;
    std::string encoding;  // why the game cannot read it as text; empty when it can
    std::vector<std::string> lines;  // lines[0] is line 1
    const std::string& Line(int n) const {
        static const std::string kNone;
        return n >= 1 && static_cast<size_t>(n) <= lines.size() ? lines[static_cast<size_t>(n) - 1] : kNone;
    }
};

TextFile ReadText(const std::string& realPath) {
    TextFile t;
    std::ifstream in(realPath, std::ios::binary);
    if (!in) return t;
    t.exists = true;
    char first[256];
    in.read(first, sizeof first);
    t.encoding = EncodingProblem(std::string_view(first, static_cast<size_t>(in.gcount())));
    in.clear();
    in.seekg(0);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (t.lines.empty()) StripByteOrderMark(line);
        t.lines.push_back(line);
    }
    return t;
}

// What one source .tri holds, read as the game's cache reads it (the resource stream and the
// library's TRI reader).
struct SourceInfo {
    bool exists = false;
    bool readable = false;
    std::string error;
    uint32_t vertexCount = 0;
    std::set<std::string> morphs;
};

class Checker {
public:
    // The folder is made absolute before the session changes the current folder.
    explicit Checker(const std::string& folder) : given_(Canonical(folder)), session_(folder) {
        shown_ = folder;
        while (shown_.size() > 1 && shown_.back() == '/') shown_.pop_back();
        configDir_ = session_.RealPath("data\\Meshes\\Vultrane");
    }

    CheckReport Run() {
        std::vector<os::DirEntry> entries;
        bool anyIni = false;
        if (os::ListDirectory("data\\Meshes\\Vultrane\\*.ini", entries))
            for (const os::DirEntry& e : entries) anyIni |= !e.isDirectory && !e.isHidden;
        if (!anyIni) {
            Add(Show(configDir_), 0, true, "no .ini file in the configuration folder; the game loads nothing");
            return Finish();
        }

        session_.LoadConfiguration();
        ReadDefinitionFiles();
        CheckSetFileLines();
        MapLoaderLog(session_.LogLines());
        FindUnusedSetFiles();
        CheckRaceSets();
        CheckDefinitionsAgainstSets();
        return Finish();
    }

private:
    static fs::path Canonical(const std::string& folder) {
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::absolute(folder, ec), ec);
        return ec ? fs::path(folder) : p;
    }

    // ----- reporting --------------------------------------------------------------------------

    void Add(const std::string& file, int line, bool error, const std::string& message) {
        report_.diagnostics.push_back({file, line, error, message});
    }

    // A real path as the user names it: below the folder given on the command line.
    std::string Show(const std::string& realPath) const {
        fs::path rel = fs::path(realPath).lexically_relative(given_);
        if (rel.empty() || rel.string().rfind("..", 0) == 0) return realPath;
        if (shown_ == ".") return rel.string();
        return (fs::path(shown_) / rel).string();
    }
    // A data-relative library path ("Meshes\Vultrane\Sets\Nord.ini").
    std::string ShowData(const std::string& dataRelative) const { return Show(session_.RealPath("data\\" + dataRelative)); }

    const TextFile& File(const std::string& realPath) {
        auto it = files_.find(realPath);
        if (it == files_.end()) {
            it = files_.emplace(realPath, ReadText(realPath)).first;
            if (it->second.exists) ++report_.filesChecked;
            if (!it->second.encoding.empty())
                Add(Show(realPath), 0, true,
                    it->second.encoding + ": the game reads only 8-bit text and finds nothing in it; save it as UTF-8 "
                                          "(or ANSI)");
        }
        return it->second;
    }

    CheckReport Finish() {
        std::stable_sort(report_.diagnostics.begin(), report_.diagnostics.end(),
                         [](const Diagnostic& a, const Diagnostic& b) {
                             return a.file != b.file ? a.file < b.file : a.line < b.line;
                         });
        return std::move(report_);
    }

    // ----- race definitions --------------------------------------------------------------------

    struct DefinitionLines {
        std::string file;  // real path
        int sliderIniLine = 0;
        std::string sliderIni;  // lower case, as the loader keeps it
        struct Item {
            std::string text;
            int line;
        };
        std::vector<Item> names, editorIds, presets;
    };

    // A second read of the definition files for line numbers, and the definitions the loader
    // drops without a word.
    void ReadDefinitionFiles() {
        static const std::vector<std::string> kKeys = {"sliderini", "name", "edid", "preset", "sliderscale", "sliderstep"};
        std::vector<os::DirEntry> entries;
        os::ListDirectory("data\\Meshes\\Vultrane\\*.ini", entries);
        std::vector<std::string> names;
        for (const os::DirEntry& e : entries)
            if (!e.isDirectory && !e.isHidden) names.push_back(e.name);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string real = session_.RealPath(name);
            topLevelIni_.insert(Lower(name));
            const TextFile& text = File(real);
            if (!text.encoding.empty()) continue;
            struct Section {
                int headerLine = 0;
                std::string header;
                DefinitionLines d;
                int nameLine = 0;
                std::map<std::string, int> nearKeys;  // known key -> line of a key that misses it
            } cur;
            auto end = [&]() {
                const std::string shown = Show(real);
                auto nearLine = [&](std::initializer_list<const char*> keys) {
                    for (const char* k : keys)
                        if (cur.nearKeys.count(k)) return cur.nearKeys[k];
                    return 0;
                };
                if (cur.d.sliderIniLine && cur.nameLine) {
                    cur.d.file = real;
                    definitions_.push_back(std::move(cur.d));
                } else if (cur.d.sliderIniLine) {
                    const int at = nearLine({"name", "edid"});
                    Add(shown, at ? at : cur.d.sliderIniLine, true,
                        "race definition" + Label(cur.header) + " names no race (no name= or edid= line" +
                            (at ? ", and this line's key looks like one" : "") + "); the game ignores it");
                } else if (cur.nameLine) {
                    const int at = nearLine({"sliderini"});
                    Add(shown, at ? at : cur.nameLine, true,
                        "race definition" + Label(cur.header) + " has no sliderini= line" +
                            (at ? " (this line's key looks like it)" : "") + "; the game ignores it");
                }
                cur = Section{};
            };
            for (size_t i = 0; i < text.lines.size(); ++i) {
                const int lineNo = static_cast<int>(i) + 1;
                std::string line = Trim(text.lines[i]);
                if (line.empty() || line[0] == '#') continue;
                if (line[0] == '[') {
                    end();
                    cur.headerLine = lineNo;
                    cur.header = line;
                    continue;
                }
                std::vector<std::string> parts = Split(line, '=');
                if (parts.size() != 2) {
                    Add(Show(real), lineNo, true, "'" + line + "' is no key=value line; the game ignores it");
                    continue;
                }
                const std::string key = Lower(parts[0]);
                auto items = [&](std::vector<DefinitionLines::Item>& into, const char* what) {
                    for (const std::string& item : Split(parts[1], ',')) {
                        if (item.find(';') != std::string::npos)
                            Add(Show(real), lineNo, true,
                                "'" + item + "' holds a ';': the game reads it as one " + what +
                                    "; separate the items with ','");
                        into.push_back({item, lineNo});
                    }
                };
                if (key == "sliderini") {
                    cur.d.sliderIniLine = lineNo;
                    cur.d.sliderIni = Lower(parts[1]);
                } else if (key == "name" || key == "edid") {
                    if (!Split(parts[1], ',').empty() && !cur.nameLine) cur.nameLine = lineNo;
                    items(key == "name" ? cur.d.names : cur.d.editorIds, key == "name" ? "race name" : "editor id");
                } else if (key == "preset") {
                    items(cur.d.presets, "preset file name");
                    for (const std::string& item : Split(parts[1], ',')) CheckPreset(real, lineNo, item);
                } else if (key == "sliderscale") {
                    const std::string problem = RealNumberProblem(parts[1]);
                    if (!problem.empty())
                        Add(Show(real), lineNo, true, "sliderscale " + problem + (ReadReal(parts[1]) == 0.0 ? "; the game uses 1.0" : ""));
                    else if (ReadReal(parts[1]) == 0.0)
                        Add(Show(real), lineNo, true, "sliderscale 0 has no effect; the game uses 1.0");
                } else if (key == "sliderstep") {
                    const std::string problem = WholeNumberProblem(parts[1]);
                    if (!problem.empty())
                        Add(Show(real), lineNo, true, "sliderstep " + problem + (ReadInt(parts[1]) == 0 ? "; the game uses 1" : ""));
                    else if (ReadInt(parts[1]) == 0)
                        Add(Show(real), lineNo, true, "sliderstep 0 has no effect; the game uses 1");
                } else {
                    const std::string meant = NearMatch(key, kKeys);
                    if (!meant.empty()) cur.nearKeys.emplace(meant, lineNo);
                    Add(Show(real), lineNo, true,
                        "unknown key '" + parts[0] + "'" + (meant.empty() ? "" : " (did you mean " + meant + "?)") +
                            " (known: sliderini, name, edid, preset, sliderscale, sliderstep); the game ignores it");
                }
            }
            end();
        }
    }

    static std::string Label(const std::string& header) { return header.empty() ? std::string() : " " + header; }

    void CheckPreset(const std::string& file, int line, const std::string& item) {
        if (item.empty()) {
            Add(Show(file), line, true, "empty preset name");
            return;
        }
        const os::ConfinedPath confined = os::ConfinePath("Meshes\\Vultrane\\Presets\\", item, "data folder");
        if (!confined.ok) {
            Add(Show(file), line, true, "preset '" + item + "' " + confined.reason + "; the game never reads it");
            return;
        }
        const std::string path = "Meshes\\Vultrane\\Presets\\" + item;
        if (!StreamExists(path))
            Add(Show(file), line, true, "preset file '" + item + "' does not exist (" + ShowData(path) + ")");
    }

    static bool StreamExists(const std::string& dataRelative) {
        BSResourceNiBinaryStream stream{};
        ResourceStream_Open(&stream, dataRelative.c_str(), 0, 0);
        const bool ok = ResourceStream_IsValid(&stream);
        ResourceStream_Close(&stream);
        return ok;
    }

    // ----- every line of every race-set file -------------------------------------------------

    // The game stops at a file's first error; the author needs them all in one run.
    void CheckSetFileLines() {
        std::set<std::string> done;
        for (const DefinitionLines& d : definitions_) {
            const std::string real = SetFileReal(d.sliderIni);
            if (!done.insert(real).second) continue;
            const TextFile& text = File(real);
            if (!text.exists || !text.encoding.empty()) continue;
            for (const LineFinding& f : CheckRaceSetLines(text.lines)) {
                findingAt_[{real, f.line}] = report_.diagnostics.size();
                if (!f.meantKey.empty()) meantKeyAt_[{real, f.meantKey}] = report_.diagnostics.size();
                Add(Show(real), f.line, f.error, f.message);
            }
        }
    }

    std::string SetFileReal(const std::string& sliderIni) const {
        return session_.RealPath("data\\Meshes\\Vultrane\\" + sliderIni);
    }

    // Adds what follows from a finding to its message, so that a cause and its consequence are
    // one error. False when there is no such finding.
    bool AppendToMeantKey(const std::string& real, const std::string& key, const std::string& consequence) {
        auto it = meantKeyAt_.find({real, key});
        if (it == meantKeyAt_.end()) return false;
        std::string& message = report_.diagnostics[it->second].message;
        const std::string ignored = "; the game ignores it";
        if (message.ends_with(ignored)) message.resize(message.size() - ignored.size());
        message += "; " + consequence;
        return true;
    }

    // ----- the loader's own messages -----------------------------------------------------------

    void MapLoaderLog(const std::vector<std::string>& lines) {
        static const std::regex atLine(R"(^\s*ERROR: ini: (.*) at line (-?\d+) in (.*)$)");
        static const std::regex noName(R"(^\s*ERROR: ini: invalid data \(no raceSetName\) in (.*)$)");
        static const std::regex notExist(R"(^\s*ERROR: system: (.*) not exist$)");
        static const std::regex failLoad(R"(^fail Load ini: (.*)$)");
        static const std::regex loaded(R"(^Load ini: (.*)$)");
        std::string missing;  // a file named just before, by the message that follows
        bool afterVertexEditError = false;  // the line before rejected a vertex-edit file
        std::set<std::string> reported;  // lower-case data-relative paths with an error already
        std::smatch m;
        for (const std::string& l : lines) {
            const bool after = afterVertexEditError;
            afterVertexEditError = false;
            if (std::regex_match(l, m, atLine)) {
                const std::string what = m[1], path = m[3];
                const int line = std::atoi(m[2].str().c_str());
                reported.insert(Lower(path));
                const bool vertexEditError = AtLine(what, line, path, missing, after);
                missing.clear();
                afterVertexEditError = vertexEditError;
                continue;
            } else if (std::regex_match(l, m, noName)) {
                reported.insert(Lower(m[1].str()));
                const std::string real = session_.RealPath("data\\" + m[1].str());
                if (!File(real).encoding.empty()) continue;  // reported as what it is
                if (!AppendToMeantKey(real, "racesetname", "without a racesetname= line the game drops this race set"))
                    Add(ShowData(m[1]), 0, true, "no racesetname= line before the first section; the game drops this race set");
            } else if (std::regex_match(l, m, notExist)) {
                const std::string path = m[1];
                if (path.find('\\') == std::string::npos) {  // the first pass names bare file names
                    Add(Show(session_.RealPath(path)), 0, true, "cannot be opened");
                    continue;
                }
                bool isSet = false;
                for (const DefinitionLines& d : definitions_) {
                    if (Lower(Backslashes("Meshes\\Vultrane\\" + d.sliderIni)) != Lower(Backslashes(path))) continue;
                    isSet = true;
                    Add(Show(d.file), d.sliderIniLine, true, "race-set file '" + d.sliderIni + "' does not exist (" + ShowData(path) + ")");
                }
                if (isSet)
                    reported.insert(Lower(path));
                else
                    missing = path;
            } else if (std::regex_match(l, m, failLoad)) {
                std::string path = DataRelativeOf(m[1]);
                if (!reported.count(Lower(path)))
                    Add(ShowData(path), 0, true, "the game drops this race set");
            } else if (std::regex_match(l, m, loaded)) {
                loadedSets_.push_back(DataRelativeOf(m[1]));
            } else if (l.find("ERROR") != std::string::npos || l.find("WARNING") != std::string::npos) {
                Add(Show(configDir_), 0, l.find("ERROR") != std::string::npos, Trim(l));
            }
        }
    }

    static std::string DataRelativeOf(const std::string& libraryPath) {
        return Lower(libraryPath).rfind("data\\", 0) == 0 ? libraryPath.substr(5) : libraryPath;
    }

    // "unknown category name at line 3 in Meshes\Vultrane\Sets\Nord.ini" and its kin.
    // True when the file was a vertex-edit file (the race set naming it is rejected next).
    bool AtLine(const std::string& what, int line, const std::string& path, const std::string& missingBefore,
                bool afterVertexEditError) {
        const std::string real = session_.RealPath("data\\" + path);
        const TextFile& text = File(real);
        const std::string src = Trim(text.Line(line));
        const std::string shown = Show(real);
        const bool vertexEditFile = !Lower(path).ends_with(".ini");
        // The line check said it already, in its own words.
        if (!vertexEditFile && findingAt_.count({real, line})) return false;
        std::string msg;
        if (what == "unknown category name") {
            msg = vertexEditFile
                      ? "unknown section '" + src + "' (known: [MainModel], [MainModel_M], [ExtraModel], [ExtraModel_M])"
                      : "unknown category '" + src + "' (built-in: [-body], [-head], [-face], [-eyes], [-brow], [-mouth], [-hair]; any name without '-' makes a category of your own)";
        } else if (what == "invalid data") {
            if (!missingBefore.empty())
                msg = "vertex-edit file '" + ItemOf(src, 3) + "' does not exist (" + ShowData(missingBefore) + ")";
            else if (afterVertexEditError && IsTypeLine(src, 18))
                msg = "vertex-edit file '" + ItemOf(src, 3) + "' cannot be loaded (see its own error)";
            else
                msg = "invalid line '" + src + "': " + WhyInvalid(src);
        } else if (what == "unknown fixed-menu name") {
            msg = "unknown fixed-menu name '" + ItemOf(src, 0) + "'";
        } else if (what == "this uniqueID is already used") {
            msg = "uniqueID " + std::to_string(ReadInt(ItemOf(src, 1))) + " is already used by another slider of the same sex" +
                  EarlierUse(text, line, ReadInt(ItemOf(src, 1)));
        } else if (what == "unknown \"entryName=\"") {
            msg = "unknown key '" + Trim(Split(src, '=').empty() ? src : Split(src, '=')[0]) +
                  "' (a main model knows name=, vertexnum=, uvmap=, vertextints=; an extra model only name=)";
        } else if (what == "unknown mainCategory data") {
            msg = "a main-model line needs groups of four numbers (vertex, mirror vertex, UV x, UV y): '" + src + "'";
        } else if (what == "unknown extraCategory data") {
            msg = "an extra-model line needs pairs of numbers (main-model vertex, extra-model vertex): '" + src + "'";
        } else {
            msg = what + ": '" + src + "'";
        }
        msg += vertexEditFile ? "; the game rejects this file and the race set that names it"
                              : "; the game rejects the whole race-set file";
        Add(shown, line, true, msg);
        return vertexEditFile;
    }

    static std::string ItemOf(const std::string& line, size_t i) {
        std::vector<std::string> items = Split(line, ',');
        return i < items.size() ? items[i] : std::string();
    }
    static bool IsTypeLine(const std::string& line, int type) {
        std::vector<std::string> items = Split(line, ',');
        return items.size() >= 3 && ReadInt(items[2]) % 100 == type;
    }

    // Why the parser's validity rule refused a slider line.
    static std::string WhyInvalid(const std::string& line) {
        std::vector<std::string> items = Split(line, ',');
        if (line.find('=') != std::string::npos && items.size() < 3)
            return "a key line after the first section (keys go before the first [section])";
        if (items.empty() || items[0].empty()) return "the label is empty";
        if (items[0][0] == '-' && items.size() >= 2) {
            if (Trim(std::string_view(items[0]).substr(1)).empty()) return "the fixed-menu name is empty";
            return "the uniqueID must be a whole number of 1 or more";
        }
        if (items.size() < 3) return "a slider line needs a label, a uniqueID and a type code";
        if (ReadInt(items[1]) < 1) return "the uniqueID must be a whole number of 1 or more";
        const int32_t code = ReadInt(items[2]);
        const int32_t type = code >= 200 ? code - 200 : code >= 100 ? code - 100 : code;
        const size_t n = items.size();
        switch (type) {
            case 0: return n < 5 ? "type 0 needs a low morph and a high morph" : "a morph name is empty";
            case 1: return n < 4 ? "type 1 needs a morph name" : "the morph name is empty";
            case 2: return n < 5 ? "type 2 needs a node and a maximum" : "the node name is empty";
            case 3: return n < 8 ? "type 3 needs a node, a maximum and x, y, z" : "the node name is empty";
            case 5: return "type 5 needs a maximum";
            case 10: return "type 10 needs a target";
            case 18: return "type 18 needs a vertex-edit file";
            case 4: case 6: case 7: case 8: case 17: return "the slider is not valid";
            default: return "unknown slider type " + std::to_string(type) + " (type code " + std::to_string(code) + ")";
        }
    }

    static std::string EarlierUse(const TextFile& text, int line, int32_t id) {
        bool inSection = false;
        for (int n = 1; n < line; ++n) {
            std::string l = Trim(text.Line(n));
            if (l.empty() || l[0] == '#') continue;
            if (l[0] == '[') {
                inSection = true;
                continue;
            }
            if (!inSection) continue;
            std::vector<std::string> items = Split(l, ',');
            if (items.size() >= 2 && ReadInt(items[1]) == id) return " ('" + items[0] + "' at line " + std::to_string(n) + ")";
        }
        return std::string();
    }

    // ----- files no definition names -----------------------------------------------------------

    void FindUnusedSetFiles() {
        std::set<std::string> named;
        for (const DefinitionLines& d : definitions_) named.insert(Lower(Backslashes(d.sliderIni)));
        std::error_code ec;
        std::vector<fs::path> found;
        for (fs::recursive_directory_iterator it(configDir_, fs::directory_options::follow_directory_symlink, ec), end;
             !ec && it != end; it.increment(ec)) {
            if (it.depth() >= 8) it.disable_recursion_pending();  // linked folders may loop
            if (!it->is_regular_file(ec) || Lower(it->path().extension().string()) != ".ini") continue;
            found.push_back(it->path());
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& p : found) {
            const std::string rel = Lower(Backslashes(p.lexically_relative(configDir_).string()));
            if (named.count(rel)) continue;
            const TextFile& text = File(p.string());
            bool raceSet = false;
            for (const std::string& raw : text.lines) {
                std::string l = Trim(raw);
                if (!l.empty() && l[0] == '[') break;
                std::vector<std::string> parts = Split(l, '=');
                raceSet |= parts.size() == 2 && Lower(parts[0]) == "racesetname";
            }
            const bool topLevel = topLevelIni_.count(rel) > 0;
            if (raceSet)
                Add(Show(p.string()), 0, true, "race-set file not used: no race definition names it (sliderini=" +
                                                     Backslashes(p.lexically_relative(configDir_).string()) + ")");
            else if (!topLevel)
                Add(Show(p.string()), 0, false, "not read by the game: only .ini files directly in the configuration "
                                                "folder hold race definitions, and no definition names this one");
        }
    }

    // ----- accepted race sets ------------------------------------------------------------------

    struct SetLines {
        std::string real;
        std::vector<int> files[3];  // [sexCode]: the line of each accepted files=/mfiles= entry
        struct Line {
            int number;
            std::vector<std::string> items;
        };
        std::vector<Line> sliderLines;
        std::vector<int> sliderLineOf;  // per SliderDef
    };

    SetLines ScanSet(const std::string& real, const RaceSetting& set) {
        SetLines s;
        s.real = real;
        const TextFile& text = File(real);
        bool inSection = false;
        for (size_t i = 0; i < text.lines.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            std::string l = Trim(text.lines[i]);
            if (l.empty() || l[0] == '#') continue;
            if (l[0] == '[') {
                inSection = true;
                continue;
            }
            if (inSection) {
                s.sliderLines.push_back({n, Split(l, ',')});
                continue;
            }
            // The header's own problems are the line check's; here only where each target is.
            std::vector<std::string> parts = Split(l, '=');
            if (parts.size() != 2) continue;
            const std::string key = Lower(parts[0]);
            if ((key == "files" || key == "mfiles") && Split(parts[1], ',').size() >= 2)
                s.files[key == "files" ? 2 : 1].push_back(n);
        }
        // Sliders are in file order; preset rows and other lines that made no record are passed over.
        size_t cursor = 0;
        for (const SliderDef& d : set.sliders) {
            int found = 0;
            for (size_t k = cursor; k < s.sliderLines.size(); ++k) {
                const auto& items = s.sliderLines[k].items;
                if (items.size() < 2 || ReadInt(items[1]) != d.uniqueID) continue;
                const bool same = items[0] == d.name ||
                                  (!items[0].empty() && items[0][0] == '-' && Lower(Trim(std::string_view(items[0]).substr(1))) == d.name);
                if (!same) continue;
                found = s.sliderLines[k].number;
                cursor = k + 1;
                break;
            }
            s.sliderLineOf.push_back(found);
        }
        return s;
    }

    void CheckRaceSets() {
        const Configuration& config = Config();
        // The k-th accepted race set is the k-th "Load ini" line.
        size_t total = 0;
        for (const RaceSetting& set : config.raceSettings)
            for (int sex : {1, 2})
                for (const auto& sources : set.SourceSets(sex)) total += sources.size();
        Progress progress("reading .tri files", total);
        size_t done = 0;
        std::vector<NodeUse> nodes;
        for (size_t k = 0; k < config.raceSettings.size() && k < loadedSets_.size(); ++k) {
            const RaceSetting& set = config.raceSettings[k];
            const std::string real = session_.RealPath("data\\" + loadedSets_[k]);
            SetLines lines = ScanSet(real, set);
            std::map<std::string, uint32_t> targetVertices[3];  // per sexCode: target path -> its mesh's vertex count
            std::set<std::string> morphsOf[3];
            bool anySource[3] = {false, false, false};
            for (int sex : {2, 1}) CheckSources(set, lines, sex, targetVertices[sex], morphsOf[sex], anySource[sex], progress, done);
            CheckSliders(set, lines, morphsOf, anySource);
            CheckUniqueIds(set, lines);
            if (set.vertexEdit) CheckVertexEdit(set, targetVertices);
            CollectNodes(set, lines, nodes);
        }
        progress.Done();
        for (const NodeHint& h : NodeNameHints(nodes))
            Add(h.use.file, h.use.line, false,
                "node '" + h.use.name + "' is named " + Times(h.times) + ", '" + h.meant + "' " + Times(h.meantTimes) +
                    " (did you mean " + h.meant +
                    "?): a node the player's skeleton lacks changes nothing, and a slider whose own node is missing "
                    "is left out of the menu");
    }

    static std::string Times(size_t n) { return n == 1 ? "once" : n == 2 ? "twice" : std::to_string(n) + " times"; }

    // The skeleton nodes that the set's node sliders name, for spotting a misspelt one.
    void CollectNodes(const RaceSetting& set, const SetLines& lines, std::vector<NodeUse>& out) const {
        const std::string shown = Show(lines.real);
        for (size_t i = 0; i < set.sliders.size() && i < lines.sliderLineOf.size(); ++i) {
            const SliderDef& s = set.sliders[i];
            const int line = lines.sliderLineOf[i];
            auto add = [&](std::string name) {
                name = Trim(name);
                if (!name.empty() && (name[0] == '+' || name[0] == '*')) name = Trim(name.substr(1));
                if (!name.empty() && Lower(name) != "dummy") out.push_back({name, shown, line});
            };
            if (s.type == kSliderNodeScale) {
                ForEachNodeEntry(s.extraList, [&](size_t j, bool) { add(s.extraList[j]); });
            } else if (s.type == kSliderNodeMove) {
                add(s.target);
            } else if (s.type == kSliderPresetScale) {
                for (const std::string& row : s.extraList) {
                    const std::vector<std::string> pieces = Split(row, ',');
                    for (size_t k = 0; k < pieces.size(); k += 2) add(pieces[k]);
                }
            }
        }
    }

    // " (did you mean X?)" when the folder of a missing file holds one whose name is near; X is
    // written as the author wrote the missing name, with its folder part.
    std::string MisspeltFile(const std::string& written, const std::string& dataRelative) const {
        const size_t cut = dataRelative.find_last_of("\\/");
        const size_t writtenCut = written.find_last_of("\\/");
        const std::string folder = cut == std::string::npos ? std::string() : dataRelative.substr(0, cut);
        const std::string base = writtenCut == std::string::npos ? written : written.substr(writtenCut + 1);
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(session_.RealPath("data\\" + folder), ec))
            if (e.is_regular_file(ec)) names.push_back(e.path().filename().string());
        const std::string near = NearMatch(base, names);
        if (near.empty()) return {};
        return " (did you mean " + (writtenCut == std::string::npos ? std::string() : written.substr(0, writtenCut + 1)) +
               near + "?)";
    }

    // ----- definitions against the race sets the game loaded ----------------------------------

    // The accepted race set a definition's sliderini names, or null.
    const RaceSetting* SetOf(const DefinitionLines& d, std::string* file = nullptr) const {
        const std::string wanted = Lower(Backslashes("Meshes\\Vultrane\\" + d.sliderIni));
        const Configuration& config = Config();
        for (size_t k = 0; k < config.raceSettings.size() && k < loadedSets_.size(); ++k) {
            if (Lower(Backslashes(loadedSets_[k])) != wanted) continue;
            if (file) *file = loadedSets_[k];
            return &config.raceSettings[k];
        }
        return nullptr;
    }

    void CheckDefinitionsAgainstSets() {
        // A race named by two definitions of different race sets: the game serves it with the
        // race set that comes first, and the other definition's sliders never reach it.
        struct First {
            const DefinitionLines* d;
            int line;
        };
        std::map<std::string, First> firstByName, firstById;
        for (const DefinitionLines& d : definitions_) {
            auto twice = [&](std::map<std::string, First>& first, const DefinitionLines::Item& item, const char* what) {
                auto [it, fresh] = first.emplace(item.text, First{&d, item.line});
                if (fresh || it->second.d->sliderIni == d.sliderIni) return;
                const DefinitionLines& earlier = *it->second.d;
                std::string winner;
                for (const RaceSetting& set : Config().raceSettings) {
                    const auto& list = std::string(what) == "race" ? set.raceNames : set.raceEditorIds;
                    if (std::find(list.begin(), list.end(), item.text) != list.end()) {
                        winner = set.raceSetName;
                        break;
                    }
                }
                Add(Show(d.file), item.line, true,
                    std::string(what) + " '" + item.text + "' is already defined at " + Show(earlier.file) + ":" +
                        std::to_string(it->second.line) + " with sliderini=" + earlier.sliderIni + "; the game serves it " +
                        (winner.empty() ? "with neither" : "with race set '" + winner + "' only") +
                        ", so one of the two definitions does nothing for it: remove it from one");
            };
            for (const DefinitionLines::Item& n : d.names) twice(firstByName, n, "race");
            for (const DefinitionLines::Item& e : d.editorIds) twice(firstById, e, "editor id");
        }
        // What the presets hold, against the sliders of the race set that loads them.
        std::set<std::string> presetsDone;
        for (const DefinitionLines& d : definitions_) {
            const RaceSetting* set = SetOf(d);
            for (const DefinitionLines::Item& p : d.presets) {
                if (p.text.empty()) continue;
                const std::string real = session_.RealPath("data\\Meshes\\Vultrane\\Presets\\" + p.text);
                if (!presetsDone.insert(Lower(real)).second) continue;
                const TextFile& text = File(real);
                if (!text.exists || !text.encoding.empty()) continue;
                CheckPresetText(real, text, set);
            }
        }
    }

    void CheckPresetText(const std::string& real, const TextFile& text, const RaceSetting* set) {
        const std::string shown = Show(real);
        std::map<int32_t, int> seen;
        for (size_t i = 0; i < text.lines.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            const std::string l = Trim(text.lines[i]);
            if (l.empty() || l[0] == '#') continue;
            const std::vector<std::string> parts = Split(l, ',');
            if (parts.size() < 2) {
                Add(shown, n, true, "'" + l + "' has no comma between the uniqueID and the value; the game ignores the line");
                continue;
            }
            const std::string idProblem = WholeNumberProblem(parts[0]);
            const std::string valueProblem = RealNumberProblem(parts[1]);
            if (!idProblem.empty()) Add(shown, n, true, "uniqueID " + idProblem);
            if (!valueProblem.empty()) Add(shown, n, true, "value " + valueProblem);
            if (parts.size() > 2) Add(shown, n, false, "'" + l + "' has more than two items; the game reads the first two");
            const int32_t id = ReadInt(parts[0]);
            if (auto [it, fresh] = seen.emplace(id, n); !fresh)
                Add(shown, n, false, "uniqueID " + std::to_string(id) + " is already set at line " + std::to_string(it->second) +
                                         "; the game applies both values");
            if (set && idProblem.empty() && id != -1 && !IsReservedMenuId(id)) {
                bool known = false;
                for (const SliderDef& s : set->sliders) known |= s.uniqueID == id;
                if (!known)
                    Add(shown, n, false, "uniqueID " + std::to_string(id) + " is no slider of race set '" + set->raceSetName +
                                             "'; the game ignores the value");
            }
        }
    }

    const SourceInfo& Source(const std::string& dataRelative) {
        auto it = sources_.find(Lower(dataRelative));
        if (it != sources_.end()) return it->second;
        SourceInfo info;
        BSResourceNiBinaryStream stream{};
        ResourceStream_Open(&stream, dataRelative.c_str(), 0, 0);
        if (ResourceStream_IsValid(&stream)) {
            info.exists = true;
            ++report_.filesChecked;
            TriFile tri;
            TriReadResult r = ReadTriBody(&stream, tri);
            if (r.ok) {
                info.readable = true;
                info.vertexCount = tri.vertexCount;
                for (const TriMorph& m : tri.morphs) info.morphs.insert(m.name);
            } else {
                info.error = r.error;
            }
        }
        ResourceStream_Close(&stream);
        return sources_.emplace(Lower(dataRelative), std::move(info)).first->second;
    }

    void CheckSources(const RaceSetting& set, const SetLines& lines, int sex, std::map<std::string, uint32_t>& targetVertices,
                      std::set<std::string>& morphs, bool& anySource, Progress& progress, size_t& done) {
        const auto& targets = set.TargetNames(sex);
        const auto& sourceSets = set.SourceSets(sex);
        const std::string dir = set.iniDirectory.size() > 6 ? set.iniDirectory.substr(5) : set.iniDirectory;
        const std::string shown = Show(lines.real);
        for (size_t i = 0; i < targets.size() && i < sourceSets.size(); ++i) {
            const int line = i < lines.files[sex].size() ? lines.files[sex][i] : 0;
            struct Read {
                std::string name;
                const SourceInfo* info;
            };
            std::vector<Read> readable;
            for (const std::string& f : sourceSets[i]) {
                const std::string path = dir + f;
                const SourceInfo& info = Source(path);
                progress.Step(++done);
                if (!info.exists) {
                    Add(shown, line, true,
                        "source '" + f + "' does not exist: " + ShowData(path) + MisspeltFile(f, dir + f));
                } else if (!info.readable) {
                    Add(shown, line, true, "source '" + f + "' cannot be read: " + info.error);
                } else {
                    readable.push_back({f, &info});
                }
            }
            CheckTargetFile(targets[i], shown, line);
            if (readable.empty()) continue;
            // The target takes the mesh of the last file read; morphs of another mesh are dropped.
            const Read& last = readable.back();
            targetVertices[targets[i]] = last.info->vertexCount;
            anySource = true;
            for (const Read& r : readable) {
                if (r.info->vertexCount != last.info->vertexCount) {
                    Add(shown, line, true,
                        "source '" + r.name + "' has " + std::to_string(r.info->vertexCount) + " vertices but '" + last.name +
                            "' (whose mesh " + targets[i] + " gets) has " + std::to_string(last.info->vertexCount) +
                            "; the game drops the morphs of '" + r.name + "'");
                    continue;
                }
                morphs.insert(r.info->morphs.begin(), r.info->morphs.end());
            }
        }
    }

    // A merged file holds only the character-creation morphs; a target that already holds other
    // morphs (blinks, phonemes: the head part's expression file) would lose them in every
    // character that uses it.
    void CheckTargetFile(const std::string& target, const std::string& shown, int line) {
        if (!checkedTargets_.insert(Lower(target)).second) return;
        if (Lower(target).rfind("data\\", 0) != 0) return;
        const SourceInfo& info = Source(target.substr(5));
        if (!info.readable) return;
        static const std::vector<std::string> order = MergedTriRecordOrder();
        static const std::set<std::string> written(order.begin(), order.end());
        std::vector<std::string> dropped;
        for (const std::string& m : info.morphs)
            if (!written.count(m)) dropped.push_back(m);
        if (dropped.empty()) return;
        std::string list;
        for (size_t j = 0; j < dropped.size() && j < 8; ++j) list += (j ? ", " : "") + dropped[j];
        if (dropped.size() > 8) list += ", ...";
        Add(shown, line, true, "target " + target + " holds " + std::to_string(dropped.size()) +
                                   " morphs that the merged file would not carry (" + list +
                                   "): it looks like the head part's expression file; name its chargen file "
                                   "(the character-creation morphs) as the target instead");
    }

    void CheckSliders(const RaceSetting& set, const SetLines& lines, const std::set<std::string>* morphsOf, const bool* anySource) {
        const std::string shown = Show(lines.real);
        struct Affected {
            std::string name;
            int line;
        };
        std::vector<Affected> withoutTargets[3];
        for (size_t i = 0; i < set.sliders.size(); ++i) {
            const SliderDef& s = set.sliders[i];
            const int line = lines.sliderLineOf[i];
            if (s.type == kSliderMergedDuplicate) continue;
            if (!std::isfinite(s.minValue) || !std::isfinite(s.maxValue) || !std::isfinite(s.interval)) {
                Add(shown, line, true, "slider '" + s.name + "': its maximum is out of range, so the menu gets an endless slider");
                continue;
            }
            if ((s.type == kSliderNodeScale || s.type == kSliderNodeMove || s.type == kSliderPlayerScale) && s.maxValue == 0.0f)
                Add(shown, line, false, "slider '" + s.name + "': maximum 0 leaves it no range");
            if (s.type == kSliderVertexEdit && s.target.empty())
                Add(shown, line, true, "slider '" + s.name + "': type 18 needs a vertex-edit file; without one it does nothing");
            if (s.type == kSliderMorphPair || s.type == kSliderMorph) {
                for (int sex : {2, 1}) {
                    if (!(s.sexMask & sex)) continue;
                    if (set.TargetNames(sex).empty()) {
                        withoutTargets[sex].push_back({s.name, line});
                        continue;
                    }
                    if (!anySource[sex]) continue;  // the missing sources are reported already
                    const std::set<std::string>& m = morphsOf[sex];
                    if (s.type == kSliderMorphPair) {
                        for (const std::string* name : {&s.lowTarget, &s.target})
                            if (!m.count(*name))
                                Add(shown, line, true, "morph '" + *name + "' of slider '" + s.name + "' is in no source .tri for " +
                                                           SexWord(sex) + DidYouMean(*name, m));
                    } else {
                        CheckMorphFamily(s, m, sex, shown, line);
                    }
                }
            } else if (s.type == kSliderNodeScale) {
                CheckFormulas(s, shown, line);
            }
        }
        // One missing files=/mfiles= line is one error, however many sliders it silences.
        for (int sex : {2, 1}) {
            const std::vector<Affected>& list = withoutTargets[sex];
            if (list.empty()) continue;
            const std::string key = sex == 2 ? "files" : "mfiles";
            std::string names;
            for (size_t k = 0; k < list.size() && k < 4; ++k) names += (k ? ", '" : "'") + list[k].name + "'";
            if (list.size() > 4) names += ", ...";
            const std::string count = std::to_string(list.size()) + (list.size() == 1 ? " slider" : " sliders");
            if (AppendToMeantKey(lines.real, key, "without a " + key + "= line the race set's " + count + " for " +
                                                      SexWord(sex) + " do nothing (" + names + ")"))
                continue;
            Add(shown, list.front().line, true,
                "the race set has no " + key + "= line, so its " + count + " for " + SexWord(sex) + " do nothing (" + names +
                    "): add a " + key + "= line naming the morph file and its sources");
        }
    }

    // Type 1 looks up the target followed by the rounded slider value.
    void CheckMorphFamily(const SliderDef& s, const std::set<std::string>& m, int sex, const std::string& shown, int line) {
        const double lo = std::floor(static_cast<double>(s.minValue) + 0.5), hi = std::floor(static_cast<double>(s.maxValue) + 0.5);
        if (!(hi >= lo) || hi - lo > 10000) return;
        std::vector<std::string> absent;
        int present = 0;
        std::string hint;
        for (double v = lo; v <= hi; v += 1.0) {
            // Value 0 is the slider's rest: no morph is meant there (the game's files count from 1).
            if (v == 0.0) continue;
            const std::string name = s.target + std::to_string(static_cast<long long>(v));
            if (m.count(name)) {
                ++present;
            } else {
                absent.push_back(name);
                if (hint.empty()) hint = DidYouMean(name, m);
            }
        }
        if (absent.empty()) return;
        if (present == 0) {
            Add(shown, line, true, "slider '" + s.name + "' finds none of its morphs " + absent.front() + " to " +
                                       absent.back() + " in the sources for " + SexWord(sex) + hint);
            return;
        }
        std::string list;
        for (size_t j = 0; j < absent.size() && j < 5; ++j) list += (j ? ", " : "") + absent[j];
        if (absent.size() > 5) list += ", ... (" + std::to_string(absent.size()) + " in all)";
        Add(shown, line, false, "slider '" + s.name + "': morphs " + list + " are in no source for " + SexWord(sex) +
                                    "; those values change nothing" + hint);
    }

    void CheckFormulas(const SliderDef& s, const std::string& shown, int line) {
        const std::vector<std::string>& list = s.extraList;
        const double lo = s.minValue, hi = s.maxValue;
        ForEachNodeEntry(list, [&](size_t j, bool move) {
            const std::string& node = list[j];
            const std::string& formula = list[j + 1];
            if (move && j + 4 >= list.size())
                Add(shown, line, true, "node move '" + node + "' needs a formula and three numbers x, y, z; the game skips it");
            const double shift = move ? 0.0 : 1.0;  // a scale entry gets the value plus one
            // The ends, 64 points between them, and the values where x is a small whole number
            // (a division by x or by x - 1 fails exactly there, which even sampling misses).
            constexpr int kSamples = 64;
            std::vector<double> values;
            for (int k = 0; k <= kSamples + 1; ++k) values.push_back(k == 0 ? lo : k == kSamples + 1 ? hi : lo + (hi - lo) * k / (kSamples + 1));
            for (double x = -2.0; x <= 2.0; x += 1.0)
                if (x - shift >= lo && x - shift <= hi) values.push_back(x - shift);
            for (double v : values) {
                session_.ClearLog();
                const double y = EvaluateFormula(formula, v + shift);
                std::string failure;
                for (const std::string& l : session_.LogLines())
                    if (l.find("ERROR") != std::string::npos) {
                        failure = Trim(l);
                        break;
                    }
                if (failure.empty() && std::isfinite(y)) continue;
                failure = FormulaReason(failure);
                std::ostringstream at;
                at << v;
                std::ostringstream x;
                x << v + shift;
                Add(shown, line, true,
                    "formula '" + formula + "' for node '" + (move ? node.substr(1) : node) + "' " +
                        (failure.empty() ? "gives a value that is not finite" : failure) + " at slider value " +
                        at.str() + " (x = " + x.str() + ")" + (failure.empty() ? "" : "; the game uses 1 there"));
                break;
            }
        });
        session_.ClearLog();
    }

    // The engine's log line in an author's words, without its internal notation.
    static std::string FormulaReason(const std::string& line) {
        if (line.empty()) return line;
        if (line.find("divided by 0") != std::string::npos) return "divides by zero";
        if (line.find("not a finite number") != std::string::npos) return "gives a number too large or not a number";
        if (line.find("stackSize") != std::string::npos || line.find(" in '") != std::string::npos)
            return "has an operator without both operands, or operands without an operator";
        return "holds a character that is no number, x, operator or parenthesis";
    }

    void CheckUniqueIds(const RaceSetting& set, const SetLines& lines) {
        const std::string shown = Show(lines.real);
        for (size_t i = 0; i < set.sliders.size(); ++i) {
            const SliderDef& a = set.sliders[i];
            if (a.type == kSliderMergedDuplicate) continue;
            for (size_t j = 0; j < i; ++j) {
                const SliderDef& b = set.sliders[j];
                if (b.type == kSliderMergedDuplicate || b.uniqueID != a.uniqueID || !(a.sexMask & b.sexMask)) continue;
                const int shared = a.sexMask & b.sexMask;
                Add(shown, lines.sliderLineOf[i], true,
                    "uniqueID " + std::to_string(a.uniqueID) + " of '" + a.name + "' is also used by '" + b.name + "' at line " +
                        std::to_string(lines.sliderLineOf[j]) + " for " + (shared == 3 ? "both sexes" : SexWord(shared)) +
                        "; values are kept per uniqueID, so this slider never gets its own");
                break;
            }
        }
    }

    // ----- vertex edits ------------------------------------------------------------------------

    void CheckVertexEdit(const RaceSetting& set, const std::map<std::string, uint32_t>* targetVertices) {
        const vertexEditData& data = *set.vertexEdit;
        const std::string real = session_.RealPath(data.path);
        const std::string shown = Show(real);
        const TextFile& text = File(real);
        // Lines of the records, per sex block: main records and the extra entries' pairs.
        struct BlockLines {
            int nameLine = 0, vertexNumLine = 0, headerLine = 0;
            std::vector<int> records;
            std::vector<std::vector<int>> extraPairs;
            std::vector<int> extraNameLine;
        } blocks[3];
        int sex = 0;
        bool main = false, haveExtra = false;
        for (size_t i = 0; i < text.lines.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            std::string l = Trim(text.lines[i]);
            if (l.empty() || l[0] == '#') continue;
            if (l[0] == '[') {
                haveExtra = false;
                if (l.size() <= 2) continue;
                std::string inner = Lower(Trim(std::string_view(l).substr(1, l.size() - 2)));
                main = inner.rfind("mainmodel", 0) == 0;
                sex = inner.ends_with("_m") ? 1 : 2;
                if (main && !blocks[sex].headerLine) blocks[sex].headerLine = n;
                continue;
            }
            if (!sex) continue;
            BlockLines& b = blocks[sex];
            std::vector<std::string> kv = Split(l, '=');
            if (!main && !haveExtra) {
                b.extraPairs.emplace_back();
                b.extraNameLine.push_back(0);
                haveExtra = true;
            }
            if (kv.size() == 2) {
                const std::string key = Lower(kv[0]);
                if (main && key == "name") b.nameLine = n;
                if (main && key == "vertexnum") b.vertexNumLine = n;
                if (!main) b.extraNameLine.back() = n;
                continue;
            }
            const size_t items = Split(l, ',').size();
            for (size_t g = 0; g < (main ? items / 4 : items / 2); ++g) (main ? b.records : b.extraPairs.back()).push_back(n);
        }

        for (int sexCode : {2, 1}) {
            const VertexEditSexBlock& block = data.Block(sexCode);
            const BlockLines& bl = blocks[sexCode];
            if (block.name.empty() && block.mainRecords.empty() && block.extraModels.empty()) continue;
            const auto& targets = targetVertices[sexCode];
            auto mainModel = targets.find(block.name);
            if (mainModel == targets.end()) {
                const auto& names = set.TargetNames(sexCode);
                if (std::find(names.begin(), names.end(), block.name) == names.end())
                    Add(shown, bl.nameLine ? bl.nameLine : bl.headerLine, true,
                        "main model '" + block.name + "' is no target of the race set for " + SexWord(sexCode) +
                            " (targets compare exactly, letter case too); its vertex edits do nothing");
                continue;  // a target without readable sources is reported with its sources
            }
            const uint32_t count = mainModel->second;
            if (block.vertexNum != static_cast<int32_t>(count))
                Add(shown, bl.vertexNumLine ? bl.vertexNumLine : bl.headerLine, false,
                    "vertexnum " + std::to_string(block.vertexNum) + " differs from the " + std::to_string(count) +
                        " vertices of " + block.name);
            for (size_t r = 0; r < block.mainRecords.size(); ++r) {
                const MainVertexRecord& rec = block.mainRecords[r];
                const int line = r < bl.records.size() ? bl.records[r] : 0;
                for (auto [what, v] : {std::pair<const char*, int32_t>{"vertex", rec.vertexID}, {"mirror vertex", rec.mirrorVertID}})
                    if (v < 0 || static_cast<uint32_t>(v) >= count)
                        Add(shown, line, true, std::string(what) + " " + std::to_string(v) + " is past the " + std::to_string(count) +
                                                   " vertices of " + block.name);
            }
            for (size_t e = 0; e < block.extraModels.size(); ++e) {
                const ExtraModelEntry& extra = block.extraModels[e];
                const int nameLine = e < bl.extraNameLine.size() ? bl.extraNameLine[e] : 0;
                auto model = targets.find(extra.name);
                if (model == targets.end()) {
                    const auto& names = set.TargetNames(sexCode);
                    if (std::find(names.begin(), names.end(), extra.name) == names.end())
                        Add(shown, nameLine, true, "extra model '" + extra.name + "' is no target of the race set for " +
                                                       SexWord(sexCode) + "; its vertex edits do nothing");
                    continue;
                }
                for (size_t p = 0; p < extra.pairs.size(); ++p) {
                    const int line = e < bl.extraPairs.size() && p < bl.extraPairs[e].size() ? bl.extraPairs[e][p] : 0;
                    const auto [from, to] = extra.pairs[p];
                    if (from < 0 || static_cast<uint32_t>(from) >= count)
                        Add(shown, line, true, "vertex " + std::to_string(from) + " is past the " + std::to_string(count) +
                                                   " vertices of " + block.name);
                    if (to < 0 || static_cast<uint32_t>(to) >= model->second)
                        Add(shown, line, true, "vertex " + std::to_string(to) + " is past the " + std::to_string(model->second) +
                                                   " vertices of " + extra.name);
                }
            }
        }
    }

    fs::path given_;
    GameSession session_;
    std::string shown_;
    std::string configDir_;
    CheckReport report_;
    std::map<std::string, TextFile> files_;
    std::unordered_map<std::string, SourceInfo> sources_;
    std::set<std::string> checkedTargets_;  // lower case
    std::map<std::pair<std::string, int>, size_t> findingAt_;           // (real path, line) -> diagnostic
    std::map<std::pair<std::string, std::string>, size_t> meantKeyAt_;  // (real path, known key) -> diagnostic
    std::vector<DefinitionLines> definitions_;
    std::set<std::string> topLevelIni_;  // lower case
    std::vector<std::string> loadedSets_;  // data-relative, in load order
};

}  // namespace

CheckReport CheckDataFolder(const std::string& folder) { return Checker(folder).Run(); }

void PrintCheckReport(const CheckReport& report, bool json, std::ostream& out) {
    if (json) {
        nlohmann::json doc;
        doc["diagnostics"] = nlohmann::json::array();
        for (const Diagnostic& d : report.diagnostics) {
            nlohmann::json item{{"file", d.file}, {"severity", d.error ? "error" : "warning"}, {"message", d.message}};
            item["line"] = d.line > 0 ? nlohmann::json(d.line) : nlohmann::json(nullptr);
            doc["diagnostics"].push_back(item);
        }
        doc["errors"] = report.Errors();
        doc["warnings"] = report.Warnings();
        doc["filesWithProblems"] = report.FilesWithProblems();
        doc["filesChecked"] = report.filesChecked;
        out << doc.dump(2) << "\n";
        return;
    }
    for (const Diagnostic& d : report.diagnostics) {
        out << d.file;
        if (d.line > 0) out << ":" << d.line;
        out << ": " << (d.error ? "error" : "warning") << ": " << d.message << "\n";
    }
    auto plural = [](size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); };
    out << plural(report.Errors(), "error") << ", " << plural(report.Warnings(), "warning") << " in "
        << plural(report.FilesWithProblems(), "file") << " (" << report.filesChecked << " checked)\n";
}

}  // namespace vultrane
