// The tools' small edges: tidy numbers in the formula table, the plot's failure marks, slot
// files told apart from other files line by line, --values with blanks, ids without a slider,
// races that match only by letter case, mistyped commands.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "config/model.h"
#include "render/plot.h"
#include "tests/render/decode_png.h"
#include "tests/support/test_support.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/cli_formula.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_merge.h"
#include "tools/vultrane/cli_slot.h"
#include "tools/vultrane/commands.h"

namespace {

namespace fs = std::filesystem;

TEST(VultraneEdges, FormulaRangeAndTableShowTheNumbersAnAuthorTypes) {
    // -1 + 2 * 0.4 is -0.19999999999999996 in binary arithmetic.
    const vultrane::FormulaTable t = vultrane::EvaluateOverRange("(x*3)", -1, 1, 10);
    ASSERT_EQ(t.samples.size(), 11u);
    EXPECT_EQ(t.samples[4].x, -0.2);
    EXPECT_EQ(t.samples[10].x, 1.0);
    EXPECT_EQ(vultrane::Tidy(t.samples[4].x), "-0.2");
    // 0.1 * 3 is 0.30000000000000004; the table shows what an author expects, JSON keeps it exact.
    EXPECT_EQ(vultrane::Tidy(0.1 * 3), "0.3");
    EXPECT_EQ(vultrane::Num(0.1 * 3), "0.30000000000000004");
    EXPECT_EQ(vultrane::Tidy(-1e-17 + 1e-17), "0");
    EXPECT_EQ(vultrane::Tidy(-0.0), "0");
    EXPECT_EQ(vultrane::Tidy(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(vultrane::Tidy(1e300), "1e+300");
    EXPECT_EQ(vultrane::Tidy(NAN), "nan");
    EXPECT_EQ(vultrane::Tidy(-INFINITY), "-inf");
    EXPECT_EQ(vultrane::Rounded15(0.1 + 0.2), 0.3);
}

TEST(VultraneEdges, PlotMarksFailedPointsInRedAndBreaksTheLineThere) {
    vtrtest::ScopedGameFolder dir;
    render::LinePlot plot;
    for (int i = 0; i <= 20; ++i) {
        plot.xs.push_back(i * 0.1);
        plot.ys.push_back(i == 10 ? 1.0 : i * 0.1 - 1.5);
        plot.failed.push_back(i == 10);
    }
    plot.title = "t";
    plot.xLabel = "x (the formula's input)";
    plot.yLabel = "value";
    std::string error;
    const std::string path = dir.Path() + "/p.png";
    ASSERT_TRUE(render::WriteLinePlotPng(path, plot, error)) << error;
    const vtrtest::Decoded d = vtrtest::DecodePngFile(path);
    ASSERT_TRUE(d.ok);
    // Red pixels: the cross and the legend; blue: the line, broken around the failed sample.
    int red = 0;
    std::vector<int> blueColumns;
    for (int x = 0; x < d.width; ++x) {
        bool blue = false;
        for (int y = 0; y < d.height; ++y) {
            const render::Rgb c = d.At(x, y);
            red += c.r > 180 && c.g < 60 && c.b < 60;
            blue |= c.b > 150 && c.r < 80 && c.g < 130;
        }
        if (blue) blueColumns.push_back(x);
    }
    EXPECT_GT(red, 20);
    int gaps = 0;
    for (size_t i = 1; i < blueColumns.size(); ++i) gaps += blueColumns[i] - blueColumns[i - 1] > 3;
    EXPECT_EQ(gaps, 1);

    // The same samples without marks: one unbroken line, no red.
    plot.failed.clear();
    ASSERT_TRUE(render::WriteLinePlotPng(path, plot, error)) << error;
    const vtrtest::Decoded plain = vtrtest::DecodePngFile(path);
    int plainRed = 0;
    for (int x = 0; x < plain.width; ++x)
        for (int y = 0; y < plain.height; ++y) {
            const render::Rgb c = plain.At(x, y);
            plainRed += c.r > 180 && c.g < 60 && c.b < 60;
        }
    EXPECT_EQ(plainRed, 0);
    // Marks that do not fit the samples are refused.
    plot.failed = {true};
    EXPECT_FALSE(render::WriteLinePlotPng(path, plot, error));
}

TEST(VultraneEdges, SlotTextRefusesOtherFilesAtTheirFirstForeignLine) {
    using namespace std::string_literals;
    const std::pair<std::string, int> cases[] = {
        {"{\n  \"race\": \"Nord\",\n  \"pairs\": []\n}\n", 1},
        {"# Race definitions\n\nsliderscale=1.0\n[Nord]\n", 3},
        {"[Nord]\nsliderini=Sets\\Nord.ini\n", 1},
        {"# Vultrane face data\n28, 0.5\nNose height, 28, 200, NoseDown, NoseUp\n", 3},
        {"\xFF\xFE#\0 \0V\0\n\0"s, 1},  // UTF-16: the game reads nothing of it
        {"# only comments\n\n", 0},
        {"", 0},
        {"\xEF\xBB\xBF# version: 2.0\r\n28, 0.5\r\n-10005, 9011066\r\n", 0},
    };
    for (const auto& [text, refusedAt] : cases) {
        SCOPED_TRACE(text);
        const vultrane::SlotTextFindings f = vultrane::CheckSlotText(text);
        EXPECT_EQ(f.refusal.line, refusedAt) << f.refusal.message;
        EXPECT_TRUE(f.warnings.empty());
    }
}

TEST(VultraneEdges, SlotTextWarnsAtEachLineTheGameReadsOtherwise) {
    const vultrane::SlotTextFindings f =
        vultrane::CheckSlotText("# face\n28, 0,5\n29 0.4\n1000, 1e999\n2g9, 1\n30, abc\n31, 0.5, 7x\n32, 0.25\n");
    EXPECT_EQ(f.refusal.line, 0);
    ASSERT_EQ(f.warnings.size(), 6u);
    const std::pair<int, const char*> expected[] = {
        {2, "decimal comma; the game reads 0 (write 0.5)"},
        {3, "has no comma between the uniqueID and the value; the game ignores the line"},
        {4, "out of range; the game leaves the pair out"},
        {5, "the game reads 2"},
        {6, "'abc' is not a number; the game reads 0"},
        {7, "has more than two items"},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(f.warnings[i].line, expected[i].first);
        EXPECT_NE(f.warnings[i].message.find(expected[i].second), std::string::npos) << f.warnings[i].message;
    }
}

TEST(VultraneEdges, ReadSlotDocumentNamesTheUsersFileAndLineNeverATemporaryCopy) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("face.slot", "# version: 2.0\n28, 0.5\n1000, 1e999\n29, 0,4\n");
    const std::string path = folder.Path() + "/face.slot";
    vultrane::SlotDocument doc;
    std::vector<std::string> log;
    std::string error;
    ASSERT_TRUE(vultrane::ReadSlotDocument(path, doc, log, error)) << error;
    EXPECT_EQ(doc.pairs, (FaceSlot{{28, 0.5}, {29, 0.0}}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], path + ":3: warning: value '1e999' is out of range; the game leaves the pair out");
    EXPECT_EQ(log[1].rfind(path + ":4: warning: value '0,4' has a decimal comma", 0), 0u) << log[1];
    for (const std::string& l : log) EXPECT_EQ(l.find("vultrane-slot-"), std::string::npos) << l;

    folder.WriteFile("races.ini", "# races\nsliderscale=1.0\n");
    EXPECT_FALSE(vultrane::ReadSlotDocument(folder.Path() + "/races.ini", doc, log, error));
    EXPECT_EQ(error, folder.Path() + "/races.ini:2: 'sliderscale=1.0' is not a 'uniqueID, value' pair; this is not a "
                                     "slot or preset file");
    EXPECT_FALSE(vultrane::ReadSlotDocument(folder.Path() + "/missing.slot", doc, log, error));
    EXPECT_EQ(error.rfind("cannot read " + folder.Path() + "/missing.slot", 0), 0u) << error;
}

TEST(VultraneEdges, ValueListsTakeBlanksAfterCommasAsTheIniFilesDo) {
    SliderValueList v;
    std::string error;
    ASSERT_TRUE(vultrane::ParseValueList("28=0.5, 1100=7", v, error)) << error;
    EXPECT_EQ(v, (SliderValueList{{28, 0.5}, {1100, 7}}));
    ASSERT_TRUE(vultrane::ParseValueList(" 28 = -0.5 ,\t29=1e-3 ", v, error)) << error;
    EXPECT_EQ(v, (SliderValueList{{28, -0.5}, {29, 0.001}}));
    // Blanks inside a number are still refused, as is an empty item.
    EXPECT_FALSE(vultrane::ParseValueList("28=0. 5", v, error));
    EXPECT_NE(error.find("\"0. 5\""), std::string::npos) << error;
    EXPECT_FALSE(vultrane::ParseValueList("28=0.5, ", v, error));
    EXPECT_FALSE(vultrane::ParseValueList("2 8=1", v, error));
}

TEST(VultraneEdges, IdsWithoutASliderAreNamedOnceButTheMenusOwnAreNot) {
    RaceSetting set;
    set.raceSetName = "Test";
    SliderDef nose;
    nose.uniqueID = 28;
    nose.type = 0;
    nose.sexMask = 3;
    SliderDef lips;
    lips.uniqueID = 1001;
    lips.type = 0;
    lips.sexMask = 2;  // women only
    SliderDef colour;
    colour.uniqueID = 44;
    colour.type = 10;
    colour.sexMask = 3;
    set.sliders = {nose, lips, colour};
    const SliderValueList values = {{28, 0.5}, {99999, 1}, {1001, 0.3}, {-44, 9011066}, {-1, 0},
                                    {805, 1},  {980, 10},  {99999, 2},  {-7, 1}};
    EXPECT_EQ(vultrane::IdsWithoutSlider(set, values, 2), (std::vector<int32_t>{99999, -7}));
    // For men the women's slider takes nothing either.
    EXPECT_EQ(vultrane::IdsWithoutSlider(set, values, 1), (std::vector<int32_t>{99999, 1001, -7}));
    EXPECT_TRUE(vultrane::IdsWithoutSlider(set, {{INT32_MIN, 1}}, 2) == (std::vector<int32_t>{INT32_MIN}));
}

TEST(VultraneEdges, MergeWhoseIdsMatchNoSliderSaysSo) {
    vtrtest::ScopedGameFolder folder;
    vultrane::PrepareExampleGame(folder.Path());
    const vultrane::MergeOutcome none = vultrane::RunMerge({folder.Path(), "Nord", 1, {{99999, 1}}, folder.Path() + "/o1"});
    EXPECT_EQ(none.unmatchedIds, (std::vector<int32_t>{99999}));
    ASSERT_FALSE(none.problems.empty());
    EXPECT_NE(none.problems.front().find("none of the values' uniqueIDs is a slider of race set Nord for women"),
              std::string::npos)
        << none.problems.front();
    // One good id among them: a note, not a problem.
    const vultrane::MergeOutcome some =
        vultrane::RunMerge({folder.Path(), "Nord", 1, {{28, 0.5}, {99999, 1}}, folder.Path() + "/o2"});
    EXPECT_EQ(some.unmatchedIds, (std::vector<int32_t>{99999}));
    EXPECT_TRUE(some.problems.empty()) << some.problems.front();
    EXPECT_TRUE(some.raceHint.empty());
}

TEST(VultraneEdges, ARaceMatchingOnlyByLetterCaseIsNamed) {
    Config() = Configuration{};
    RaceSetting nord;
    nord.raceSetName = "Nord";
    nord.raceNames = {"Nord"};
    nord.raceEditorIds = {"NordRace"};
    RaceSetting other;
    other.raceSetName = "Other";
    other.raceNames = {"nordrace"};  // another set lists this spelling exactly
    Config().raceSettings = {nord, other};
    const std::string hint = vultrane::RaceCaseHint("nord");
    EXPECT_NE(hint.find("'Nord' (race set Nord)"), std::string::npos) << hint;
    EXPECT_NE(hint.find("use --race Nord"), std::string::npos) << hint;
    EXPECT_EQ(vultrane::RaceCaseHint("Nord"), "");
    EXPECT_NE(vultrane::RaceCaseHint("NORDRACE").find("'NordRace' (race set Nord)"), std::string::npos)
        << "the first case-blind match in load order is named";
    EXPECT_EQ(vultrane::RaceCaseHint("nordrace"), "") << "an exact match in any set needs no hint";
    EXPECT_EQ(vultrane::RaceCaseHint("Breton"), "");
    Config() = Configuration{};
}

TEST(VultraneEdges, MistypedCommandsGetTheNearestName) {
    CLI::App app{"t", "vultrane"};
    vultrane::Run run;
    vultrane::AddCheckCommand(app, run);
    vultrane::AddSlotCommand(app, run);
    vultrane::AddFormulaCommand(app, run);
    auto hint = [&](std::vector<const char*> args) {
        args.insert(args.begin(), "vultrane");
        return vultrane::SubcommandHint(app, static_cast<int>(args.size()), args.data());
    };
    EXPECT_EQ(hint({"chek"}), "'chek' is not a command of vultrane; did you mean check?");
    EXPECT_EQ(hint({"slot", "exprot", "a.slot"}), "'exprot' is not a command of vultrane slot; did you mean export?");
    EXPECT_EQ(hint({"--help", "formul"}), "'formul' is not a command of vultrane; did you mean formula?");
    EXPECT_EQ(hint({"zzzzzz"}), "'zzzzzz' is not a command of vultrane (commands: check, slot, formula)");
    // Known commands and their own arguments give no hint.
    EXPECT_EQ(hint({"check", "chek"}), "");
    EXPECT_EQ(hint({"slot", "export", "x"}), "");
    EXPECT_EQ(hint({}), "");
}

}  // namespace
