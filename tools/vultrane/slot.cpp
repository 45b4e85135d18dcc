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

ScopedDocuments::ScopedDocuments() {
    folder_ = MakeTempFolder("vultrane-slot-");
    os::SetDocumentsFolderOverride(folder_);
}

ScopedDocuments::~ScopedDocuments() {
    os::SetDocumentsFolderOverride("");
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
    if (!ReadWholeFile(path, bytes, error)) return false;
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
    std::error_code ec;
    if (!WriteFileReplacing(slotPath, bytes, error)) return false;
    RaceSetting set;
    set.raceSetName = kSetName;
    bool ok = false;
    log = CaptureLog([&] { ok = LoadFaceSlot(set, doc.race, kSlotNumber, doc.pairs); });
    if (!ok) error = "the slot reader could not read it";
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
    if (!ReadSlotDocument(path, doc, log, error)) throw std::runtime_error("cannot read " + path + ": " + error);
    for (const std::string& l : Problems(log)) std::fprintf(stderr, "vultrane: %s\n", l.c_str());
    PrintJson(SlotToJson(doc));
    run.exitCode = Problems(log).empty() ? 0 : 1;
}

void Import(const std::string& path, const std::string& out, Run& run) {
    std::string text, error;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw UsageError("'" + path + "' is not a file");
    if (!ReadWholeFile(path, text, error)) throw std::runtime_error("cannot read " + path + ": " + error);
    Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        std::fprintf(stderr, "vultrane: %s is not JSON; nothing written\n", path.c_str());
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
    ex->callback([file, &run] { Export(*file, run); });
    CLI::App* im = slot->add_subcommand("import", "Write a slot file from JSON; every part is checked first");
    im->add_option("FILE.json", *file, "JSON as 'slot export' prints it")->required();
    im->add_option("--out", *out, "the slot file to write (for the game: _<slot>_<race set>.slot)")->required();
    im->footer("Exit status: 0 written, 1 rejected (nothing written; each rejected part is named), 2 bad arguments.");
    im->callback([file, out, &run] { Import(*file, *out, run); });
}

}  // namespace vultrane
