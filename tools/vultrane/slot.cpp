// vultrane slot: a slot or preset file exported as JSON, and JSON imported as a slot file, so
// players can share faces. Reading and writing are the library's own.
#include <stdlib.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/log.h"
#include "os/os.h"
#include "sliders/apply.h"
#include "config/text.h"
#include "tools/vultrane/check_util.h"
#include "tools/vultrane/cli_slot.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

constexpr int kSlotNumber = 1;
constexpr const char* kSetName = "Shared";
constexpr const char* kFormat = "vultrane face";
constexpr size_t kMaxRaceName = 128;

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

SlotTextFindings CheckSlotText(const std::string& bytes) {
    SlotTextFindings f;
    auto at = [](int line, std::string message) {
        LineFinding finding;
        finding.line = line;
        finding.message = std::move(message);
        return finding;
    };
    if (const std::string encoding = EncodingProblem(bytes); !encoding.empty()) {
        f.refusal = at(1, encoding + "; the game cannot read it (save it as UTF-8 or ANSI)");
        return f;
    }
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int n = 0;
    for (const std::string& raw : TextLines(std::string(text))) {
        ++n;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> parts = Split(line, ',');
        // A line the reader cannot take as a pair at all means the file is something else
        // (JSON, a races.ini); a pair with a damaged number is a slot file with a fault.
        const std::string idProblem = parts.empty() ? std::string() : WholeNumberProblem(parts[0]);
        if (parts.empty() || idProblem.ends_with("the game reads 0")) {
            f.refusal = at(n, "'" + line + "' is not a 'uniqueID, value' pair");
            return f;
        }
        if (parts.size() < 2) {
            f.warnings.push_back(at(n, "'" + line + "' has no comma between the uniqueID and the value; the game ignores the line"));
            continue;
        }
        if (!idProblem.empty()) f.warnings.push_back(at(n, "uniqueID " + idProblem));
        const std::string valueProblem = RealNumberProblem(parts[1]);
        if (!valueProblem.empty())
            f.warnings.push_back(at(n, "value " + valueProblem +
                                           (valueProblem.ends_with("is out of range") ? "; the game leaves the pair out" : "")));
        const bool digits = parts.size() == 3 && !parts[2].empty() &&
                            parts[2].find_first_not_of("0123456789") == std::string::npos &&
                            WholeNumberProblem(parts[1]).empty();
        if (digits)
            f.warnings.push_back(at(n, "value '" + parts[1] + "," + parts[2] + "' has a decimal comma; the game reads " +
                                           parts[1] + " (write " + parts[1] + "." + parts[2] + ")"));
        else if (parts.size() > 2)
            f.warnings.push_back(at(n, "'" + line + "' has more than two items; the game reads the first two"));
    }
    return f;
}

ScopedDocuments::ScopedDocuments() {
    folder_ = MakeTempFolder("vultrane-slot-");
    previous_ = os::GetDocumentsFolderOverride();
    os::SetDocumentsFolderOverride(folder_);
}

ScopedDocuments::~ScopedDocuments() {
    os::SetDocumentsFolderOverride(previous_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::string ScopedDocuments::SlotPath(int slot, const std::string& raceSetName) const {
    RaceSetting set;
    set.raceSetName = raceSetName;
    const std::string path = SlotFilePath(slot, set);
    MakeFolders(path);
    return os::ResolvePath(path);
}

bool ReadSlotDocument(const std::string& path, SlotDocument& doc, std::vector<std::string>& log, std::string& error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error)) {
        error = "cannot read " + path + ": " + error;
        return false;
    }
    const SlotTextFindings findings = CheckSlotText(bytes);
    if (findings.refusal.line) {
        error = path + ":" + std::to_string(findings.refusal.line) + ": " + findings.refusal.message +
                "; this is not a slot or preset file";
        return false;
    }
    doc = SlotDocument{};
    bool inSkeleton = false;
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (const std::string& line : TextLines(std::string(text))) {
        if (inSkeleton) {
            if (!line.empty()) doc.skeleton.push_back(line);
        } else if (line.rfind("# character race: ", 0) == 0 && doc.race.empty()) {
            doc.race = line.substr(18);
        } else if (line == "# --- skeleton data ---") {
            inSkeleton = true;
        }
    }
    // The pairs come from the library's reader: the file is put where it looks for slot 1.
    ScopedDocuments docs;
    const std::string slotPath = docs.SlotPath(kSlotNumber, kSetName);
    if (!WriteFileReplacing(slotPath, bytes, error)) {
        error = "cannot copy " + path + " for the slot reader: " + error;
        return false;
    }
    RaceSetting set;
    set.raceSetName = kSetName;
    bool ok = false;
    const std::vector<std::string> libraryLog = CaptureLog([&] { ok = LoadFaceSlot(set, doc.race, kSlotNumber, doc.pairs); });
    // The reader's messages name the temporary copy; the user's file and line are named instead.
    log.clear();
    for (const LineFinding& w : findings.warnings)
        log.push_back(path + ":" + std::to_string(w.line) + ": warning: " + w.message);
    for (std::string l : Problems(libraryLog)) {
        if (l.find("out of range ignored") != std::string::npos && !findings.warnings.empty()) continue;
        for (size_t at; (at = l.find(slotPath)) != std::string::npos;) l.replace(at, slotPath.size(), path);
        log.push_back(l);
    }
    if (!ok) error = "the slot reader could not read " + path;
    return ok;
}

bool WriteSlotDocument(const SlotDocument& doc, std::string& bytes, std::vector<std::string>& log, std::string& error) {
    ScopedDocuments docs;
    RaceSetting set;
    set.raceSetName = kSetName;
    std::string skeleton;
    for (const std::string& l : doc.skeleton) skeleton += l + "\n";
    std::string saved = std::move(SkeletonText());
    SkeletonText() = skeleton;
    log = CaptureLog([&] { WriteSlotFile(kSlotNumber, set, doc.pairs, doc.race); });
    SkeletonText() = std::move(saved);
    for (const std::string& l : log)
        if (l.find("ERROR") != std::string::npos) {
            error = l;
            return false;
        }
    return ReadWholeFile(docs.SlotPath(kSlotNumber, kSetName), bytes, error);
}

Json SlotToJson(const SlotDocument& doc) {
    Json pairs = Json::array();
    for (const auto& [id, value] : doc.pairs) pairs.push_back({{"uniqueID", id}, {"value", value}});
    return {{"format", kFormat}, {"race", doc.race}, {"pairs", pairs}, {"skeleton", doc.skeleton}};
}

bool SlotFromJson(const Json& json, SlotDocument& doc, std::vector<std::string>& rejected) {
    doc = SlotDocument{};
    rejected.clear();
    if (!json.is_object()) {
        rejected.push_back("the top level must be an object with \"race\", \"pairs\" and \"skeleton\"");
        return false;
    }
    for (const auto& [key, value] : json.items())
        if (key != "format" && key != "race" && key != "pairs" && key != "skeleton" && key != "comment")
            rejected.push_back(key + ": not a key of a face file (race, pairs, skeleton)");
    if (json.contains("format") && json["format"] != kFormat)
        rejected.push_back(std::string("format: expected \"") + kFormat + "\"");

    if (!json.contains("race") || !json["race"].is_string()) {
        rejected.push_back("race: missing or not a text");
    } else {
        const std::string race = json["race"].get<std::string>();
        bool safe = !race.empty() && race.size() <= kMaxRaceName;
        for (unsigned char c : race) safe = safe && c >= 0x20 && c != 0x7f;
        if (!safe)
            rejected.push_back("race: " + Json(race).dump() + " is not a safe race name (1 to " + std::to_string(kMaxRaceName) +
                               " characters, no control characters or line breaks)");
        else doc.race = race;
    }

    if (!json.contains("pairs") || !json["pairs"].is_array()) {
        rejected.push_back("pairs: missing or not an array");
    } else {
        const Json& pairs = json["pairs"];
        for (size_t i = 0; i < pairs.size(); ++i) {
            const std::string at = "pairs[" + std::to_string(i) + "]";
            const Json& p = pairs[i];
            if (!p.is_object() || !p.contains("uniqueID") || !p.contains("value") || p.size() != 2) {
                rejected.push_back(at + ": expected {\"uniqueID\": integer, \"value\": number}");
                continue;
            }
            const Json& id = p["uniqueID"];
            const Json& value = p["value"];
            bool good = true;
            double idNumber = id.is_number() ? id.get<double>() : NAN;
            if (!id.is_number() || !std::isfinite(idNumber) || idNumber != std::trunc(idNumber) ||
                idNumber < INT32_MIN || idNumber > INT32_MAX) {
                rejected.push_back(at + ".uniqueID: " + id.dump() + " is not a 32-bit integer");
                good = false;
            }
            const double v = value.is_number() ? value.get<double>() : NAN;
            if (!value.is_number() || !std::isfinite(v)) {
                rejected.push_back(at + ".value: " + value.dump() + " is not a finite number");
                good = false;
            }
            if (good) doc.pairs.emplace_back(static_cast<int32_t>(idNumber), v);
        }
    }

    if (json.contains("skeleton")) {
        const Json& sk = json["skeleton"];
        if (!sk.is_array()) {
            rejected.push_back("skeleton: not an array of texts");
        } else {
            for (size_t i = 0; i < sk.size(); ++i) {
                const std::string at = "skeleton[" + std::to_string(i) + "]";
                // Every skeleton line is a comment; anything else would be read back as a value.
                if (!sk[i].is_string()) {
                    rejected.push_back(at + ": not a text");
                    continue;
                }
                const std::string line = sk[i].get<std::string>();
                if (line.empty() || line[0] != '#' || line.find_first_of("\r\n") != std::string::npos)
                    rejected.push_back(at + ": a skeleton line is one comment line starting with '#'");
                else doc.skeleton.push_back(line);
            }
        }
    }
    return rejected.empty();
}

namespace {

void Export(const std::string& path, Run& run) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw UsageError("'" + path + "' is not a file");
    SlotDocument doc;
    std::vector<std::string> log;
    std::string error;
    if (!ReadSlotDocument(path, doc, log, error)) {
        std::fprintf(stderr, "vultrane: error: %s; nothing exported\n", error.c_str());
        run.exitCode = 1;
        return;
    }
    for (const std::string& l : log) std::fprintf(stderr, "vultrane: %s\n", l.c_str());
    PrintJson(SlotToJson(doc));
    run.exitCode = log.empty() ? 0 : 1;
}

void Import(const std::string& path, const std::string& out, Run& run) {
    std::string text, error;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw UsageError("'" + path + "' is not a file");
    if (!ReadWholeFile(path, text, error)) throw std::runtime_error("cannot read " + path + ": " + error);
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::parse_error& e) {
        // The parser counts bytes; an author looks for a line and column.
        size_t line = 1, column = 1;
        for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
            if (text[i] == '\n') ++line, column = 1;
            else ++column;
        }
        std::string what = e.what();
        if (const size_t at = what.find("syntax error"); at != std::string::npos) what = what.substr(at);
        std::fprintf(stderr, "vultrane: %s:%zu:%zu: not valid JSON (%s); nothing written\n", path.c_str(), line, column,
                     what.c_str());
        run.exitCode = 1;
        return;
    }
    SlotDocument doc;
    std::vector<std::string> rejected;
    if (!SlotFromJson(json, doc, rejected)) {
        std::fprintf(stderr, "vultrane: %s: rejected, nothing written:\n", path.c_str());
        for (const std::string& r : rejected) std::fprintf(stderr, "  %s\n", r.c_str());
        run.exitCode = 1;
        return;
    }
    std::string bytes;
    std::vector<std::string> log;
    if (!WriteSlotDocument(doc, bytes, log, error)) throw std::runtime_error("the slot writer failed: " + error);
    MakeOutputFolderFor(out, "--out");
    if (!WriteFileReplacing(out, bytes, error)) throw std::runtime_error("cannot write " + out + ": " + error);
    // The file holds six decimals; say so when a value loses more.
    size_t rounded = 0;
    for (const auto& [id, v] : doc.pairs) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%f", v);
        rounded += std::strtod(buf, nullptr) != v;
    }
    std::printf("wrote %s: race %s, %zu values, %zu skeleton lines\n", out.c_str(), doc.race.c_str(), doc.pairs.size(),
                doc.skeleton.size());
    if (rounded) std::printf("note: %zu values were rounded to the six decimals a slot file holds\n", rounded);
    run.exitCode = 0;
}

}  // namespace

void AddSlotCommand(CLI::App& app, Run& run) {
    CLI::App* slot = app.add_subcommand("slot", "Slot and preset files as JSON and back, to share faces");
    slot->require_subcommand(1);
    auto file = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    CLI::App* ex = slot->add_subcommand("export", "Print a slot or preset file as JSON (race, pairs, skeleton lines)");
    ex->add_option("FILE", *file, "a .slot file or a preset file")->required();
    ex->footer("Exit status: 0 read cleanly; 1 not a slot or preset file (nothing printed, the first line that is no "
               "'uniqueID, value' pair named) or lines the game reads otherwise (a warning at each); 2 bad arguments.");
    ex->callback([file, &run] { Export(*file, run); });
    CLI::App* im = slot->add_subcommand("import", "Write a slot file from JSON; every part is checked first");
    im->add_option("FILE.json", *file, "JSON as 'slot export' prints it")->required();
    im->add_option("--out", *out, "the slot file to write (for the game: _<slot>_<race set>.slot)")->required();
    im->footer("Exit status: 0 written, 1 rejected (nothing written; each rejected part is named), 2 bad arguments.");
    im->callback([file, out, &run] { Import(*file, *out, run); });
}

}  // namespace vultrane
