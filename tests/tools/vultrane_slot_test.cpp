// Slot files as JSON and back: the pairs survive a round trip through the library's reader
// and writer, and an import names every part it rejects.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/test_support.h"
#include "tools/vultrane/cli_slot.h"

namespace {

using vultrane::Json;
using vultrane::SlotDocument;

TEST(VultraneSlot, ExportThenImportGivesBackTheSamePairs) {
    vtrtest::ScopedGameFolder folder;
    setenv("XDG_DOCUMENTS_DIR", "/nonexistent-documents", 1);
    // An old file (no version line, so 28 and 35 are scaled by 1.5 when read), a duplicate,
    // a vertex edit, a byte-order mark, CR LF line ends and skeleton lines.
    folder.WriteFile("old.slot",
                     "\xEF\xBB\xBF# Vultrane face data\r\n# character race: Dark Elf\r\n\r\n"
                     "28, 1.0\r\n35, -0.5\r\n1000, 0.123456\r\n1000, 0.25\r\n-10005, 9011066\r\n\r\n"
                     "# --- skeleton data ---\r\n# NPC Head [Head] scale 1.1\r\n#NPC Neck [Neck] move 0 0 1\r\n");
    SlotDocument first;
    std::vector<std::string> log;
    std::string error;
    ASSERT_TRUE(vultrane::ReadSlotDocument(folder.Path() + "/old.slot", first, log, error)) << error;
    EXPECT_EQ(first.race, "Dark Elf");
    EXPECT_EQ(first.pairs, (FaceSlot{{28, 1.5}, {35, -0.75}, {1000, 0.123456}, {1000, 0.25}, {-10005, 9011066}}));
    EXPECT_EQ(first.skeleton, (std::vector<std::string>{"# NPC Head [Head] scale 1.1", "#NPC Neck [Neck] move 0 0 1"}));
    // The temporary documents folder is gone and the user's setting is back.
    EXPECT_STREQ(std::getenv("XDG_DOCUMENTS_DIR"), "/nonexistent-documents");

    // Through JSON text, as players pass it around.
    const Json json = Json::parse(vultrane::SlotToJson(first).dump());
    SlotDocument imported;
    std::vector<std::string> rejected;
    ASSERT_TRUE(vultrane::SlotFromJson(json, imported, rejected)) << rejected.front();
    std::string bytes;
    ASSERT_TRUE(vultrane::WriteSlotDocument(imported, bytes, log, error)) << error;
    EXPECT_NE(bytes.find("# version: 2.0\n"), std::string::npos);  // the scaled values are not scaled twice
    folder.WriteFile("new.slot", bytes);
    SlotDocument second;
    ASSERT_TRUE(vultrane::ReadSlotDocument(folder.Path() + "/new.slot", second, log, error)) << error;
    EXPECT_EQ(second.race, first.race);
    EXPECT_EQ(second.pairs, first.pairs);
    EXPECT_EQ(second.skeleton, first.skeleton);
    unsetenv("XDG_DOCUMENTS_DIR");
}

TEST(VultraneSlot, ImportNamesEveryRejectedPart) {
    const Json bad = Json::parse(R"({
        "race": "Nord\nrace",
        "pairs": [ {"uniqueID": 28, "value": 0.5}, {"uniqueID": 1.5, "value": 1}, {"uniqueID": "28", "value": 1},
                   {"uniqueID": 4294967296, "value": 1}, {"uniqueID": 3, "value": "big"}, {"uniqueID": 3},
                   [28, 0.5] ],
        "skeleton": ["# fine", "28, 0.5", 7],
        "colour": 1 })");
    SlotDocument doc;
    std::vector<std::string> rejected;
    EXPECT_FALSE(vultrane::SlotFromJson(bad, doc, rejected));
    auto has = [&](const std::string& start) {
        for (const std::string& r : rejected)
            if (r.rfind(start, 0) == 0) return true;
        return false;
    };
    for (const char* part : {"colour:", "race:", "pairs[1].uniqueID", "pairs[2].uniqueID", "pairs[3].uniqueID",
                             "pairs[4].value", "pairs[5]:", "pairs[6]:", "skeleton[1]:", "skeleton[2]:"})
        EXPECT_TRUE(has(part)) << part;
    EXPECT_EQ(rejected.size(), 10u);
    EXPECT_FALSE(has("pairs[0]"));
    EXPECT_FALSE(has("skeleton[0]"));

    EXPECT_FALSE(vultrane::SlotFromJson(Json::array(), doc, rejected));
    EXPECT_FALSE(vultrane::SlotFromJson(Json::parse(R"({"race": "", "pairs": []})"), doc, rejected));
    EXPECT_FALSE(vultrane::SlotFromJson(Json::parse(R"({"race": "Nord"})"), doc, rejected));
    EXPECT_TRUE(vultrane::SlotFromJson(Json::parse(R"({"race": "Nord", "pairs": []})"), doc, rejected));
}

}  // namespace
