// Paths that configuration files give are held below their folder, each refusal logged once
// with its file and line; overlong lines are cut and reported.
#include <gtest/gtest.h>

#include "base/log.h"
#include "config/stream_lines.h"
#include "config/text.h"
#include "plugin/face_refresh.h"
#include "tests/config/config_fixture.h"

namespace {

using vtrconfigtest::ConfigFixture;

class ConfinementTest : public ConfigFixture {};

TEST_F(ConfinementTest, RaceSetPathsThatLeaveTheirFolderAreRefusedWithFileAndLine) {
    folder.WriteFile("outside/evil.tri", "a mod's bytes");
    WriteConfig("races.ini",
                "[Nord]\nsliderini=Sets\\Nord.ini\nname=Nord\npreset=ok.txt, ..\\..\\..\\..\\outside\\secret.txt, con\n"
                "[Escaping]\nsliderini=..\\..\\..\\outside\\set.ini\nname=Escaper\n");
    WriteConfig("Sets\\Nord.ini",
                "racesetname=Nord\n"
                "files=data\\meshes\\head.tri, Head.tri, ..\\..\\..\\..\\outside\\evil.tri, ..\\Sets\\Head2.tri\n"
                "files=..\\outside\\evil.tri, Head.tri\n"
                "mfiles=C:\\Windows\\evil.tri, Head.tri\n"
                "[-face]\nNose, 1000, 0, Lo, Hi\n");
    LoadConfiguration(kConfigDirectory);
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "    ERROR: path: \"..\\..\\..\\..\\outside\\secret.txt\" at line 4 of Meshes\\Vultrane\\races.ini "
                            "leads out of the data folder; nothing is read or written through it.",
                            "    ERROR: path: \"con\" at line 4 of Meshes\\Vultrane\\races.ini names a device (con); nothing "
                            "is read or written through it.",
                            "    ERROR: path: \"..\\..\\..\\outside\\set.ini\" at line 6 of Meshes\\Vultrane\\races.ini leads "
                            "out of the data folder; nothing is read or written through it.",
                            "    ERROR: path: \"..\\..\\..\\..\\outside\\evil.tri\" at line 2 of Meshes\\Vultrane\\sets\\nord.ini "
                            "leads out of the data folder; nothing is read or written through it.",
                            "    ERROR: path: \"..\\outside\\evil.tri\" at line 3 of Meshes\\Vultrane\\sets\\nord.ini leads "
                            "out of the game folder; nothing is read or written through it.",
                            "    ERROR: path: \"C:\\Windows\\evil.tri\" at line 4 of Meshes\\Vultrane\\sets\\nord.ini names "
                            "a drive; nothing is read or written through it.",
                        }));
    const Configuration& c = Config();
    ASSERT_EQ(c.raceSettings.size(), 1u);  // the escaping definition has no race set
    const RaceSetting& set = c.raceSettings[0];
    // Targets keep their places; a refused one has no sources, a refused source is left out.
    EXPECT_EQ(set.fileSetNames, (std::vector<std::string>{"data\\meshes\\head.tri", "..\\outside\\evil.tri"}));
    EXPECT_EQ(set.fileSets, (std::vector<std::vector<std::string>>{{"Head.tri", "..\\Sets\\Head2.tri"}, {}}));
    EXPECT_EQ(set.maleFileSets, (std::vector<std::vector<std::string>>{{}}));
    // Presets keep their positions (the menu picks them by number); their reader refuses them.
    ASSERT_EQ(c.raceDefinitions.size(), 1u);
    EXPECT_EQ(c.raceDefinitions[0].presets.size(), 3u);

    // A vertex-edit file outside the data folder rejects its race set like a missing one.
    Config() = Configuration{};
    log.Clear();
    RaceSetting edit = ParseText("racesetname=E\n[-face]\nEdit, 1, 18, ..\\..\\..\\outside\\edit.txt\n");
    EXPECT_TRUE(edit.raceSetName.empty());
    EXPECT_EQ(Errors(), (std::vector<std::string>{"    ERROR: path: \"..\\..\\..\\outside\\edit.txt\" at line 3 of "
                                                  "Meshes\\Vultrane\\test.ini leads out of the data folder; nothing is "
                                                  "read or written through it."}));
    EXPECT_TRUE(Config().vertexEditCache.empty());
}

TEST_F(ConfinementTest, OverlongLinesAreCutAtTheDocumentedLengthAndReported) {
    EXPECT_EQ(kMaxLineBytes, 65536u);
    // A race-set file: the cut line still counts as one, the lines after it read on.
    const std::string longName(kMaxLineBytes + 5000, 'N');
    RaceSetting set = ParseText("racesetname=" + longName + "\n[-face]\nNose, 1000, 0, Lo, Hi\nBad\n");
    EXPECT_TRUE(set.raceSetName.empty());  // line 4 is invalid: the line numbers still count
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    WARNING: line 1 of Meshes\\Vultrane\\test.ini is longer than 65536 bytes; the rest of it "
                               "is ignored.",
                               "    ERROR: ini: invalid data at line 4 in Meshes\\Vultrane\\test.ini"}));
    log.Clear();
    set = ParseText("racesetname=" + longName + "\n[-face]\nNose, 1000, 0, Lo, Hi\n");
    EXPECT_EQ(set.raceSetName.size(), kMaxLineBytes - std::string("racesetname=").size());
    ASSERT_EQ(set.sliders.size(), 1u);

    // Exactly the cap is no cut; one byte more is.
    for (size_t extra : {0u, 1u}) {
        log.Clear();
        WriteConfig("cap.txt", std::string(kMaxLineBytes + extra, 'x') + "\nnext\n");
        StreamLineReader reader("Meshes\\Vultrane\\cap.txt");
        std::string line;
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line.size(), kMaxLineBytes);
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line, "next");
        EXPECT_EQ(log.Lines().size(), extra) << extra;
    }

    // The definition files too.
    log.Clear();
    WriteConfig("races.ini", "[Nord]\nname=" + std::string(kMaxLineBytes, 'n') + "x,Nord\nsliderini=set.ini\n");
    WriteConfig("set.ini", "racesetname=S\n");
    LoadConfiguration(kConfigDirectory);
    EXPECT_TRUE(log.Contains("    WARNING: line 2 of Meshes\\Vultrane\\races.ini is longer than 65536 bytes; the rest of "
                             "it is ignored."));
    ASSERT_EQ(Config().raceDefinitions.size(), 1u);
    EXPECT_EQ(Config().raceDefinitions[0].names, std::vector<std::string>{std::string(kMaxLineBytes - 5, 'n')});
}

TEST(LogEscape, ControlCharactersOfOutsideTextStayOnOneLine) {
    EXPECT_EQ(LogEscape("Nord\nERROR: forged\r\x1b[2J\x7f\ttab"), "Nord\\nERROR: forged\\r\\x1B[2J\\x7F\ttab");
    EXPECT_EQ(LogEscape("plain \\ path"), "plain \\ path");
    EXPECT_FALSE(NeedsEscape("data\\meshes\\x.tri\t"));
    // A face text's race name with a line feed is one log line.
    vtrtest::LogCapture log;
    RefreshPlayerFace("Nord\nERROR: forged,28,1");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"info: refresh Player face start.", "    ERROR: cannot access .ini.",
                                                     "    WARNING: system: no race found from Papyrus call. (Nord\\nERROR: "
                                                     "forged)"}));
}

TEST(FaceDataParse, TenMegabytesOfCommasNeedNoFieldList) {
    const std::string commas(10 * 1000 * 1000, ',');
    const FaceData d = ParseFaceData("Nord," + commas);
    EXPECT_EQ(d.raceName, "Nord");
    EXPECT_EQ(d.fieldCount, commas.size() + 1);  // the last comma ends no field
    EXPECT_EQ(d.values.size(), commas.size() / 2);
    EXPECT_EQ(d.values.capacity(), d.values.size()) << "room taken once from the count of commas";
}

}  // namespace
