#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/config/config_fixture.h"

namespace {

using vtrconfigtest::ConfigFixture;
using ConfigRaceSetParser = ConfigFixture;

const char* const kHeader = "racesetname=Nord Set\n[-body]\n";

TEST_F(ConfigRaceSetParser, SingleMorphPairSliderInBodySection) {
    RaceSetting r = ParseText("racesetname=Nord Set\n[-body]\nNose width, 1000, 0, NoseNarrow, NoseWide\n");
    EXPECT_EQ(r.raceSetName, "Nord Set");
    ASSERT_EQ(r.sliders.size(), 1u);
    const SliderDef& s = r.sliders[0];
    EXPECT_EQ(s.name, "Nose width");
    EXPECT_EQ(s.uniqueID, 1000);
    EXPECT_EQ(s.type, 0);
    EXPECT_EQ(s.sexMask, 2);
    EXPECT_EQ(s.categoryMask, 4u);
    EXPECT_EQ(s.categoryName, "body");
    EXPECT_EQ(s.lowTarget, "NoseNarrow");
    EXPECT_EQ(s.target, "NoseWide");
    EXPECT_FLOAT_EQ(s.minValue, -1.0f);
    EXPECT_FLOAT_EQ(s.maxValue, 1.0f);
    EXPECT_EQ(s.interval, 1.0f / 15.0f);
    EXPECT_EQ(s.menuIndex, 101);
    EXPECT_TRUE(r.iniDirectory.empty() && r.raceNames.empty());  // the loader fills these
    EXPECT_TRUE(Errors().empty());
}

struct SliderCase {
    const char* line;
    int32_t type;
    int32_t sexMask;
    float minValue, maxValue, interval;
    const char* target;
    int32_t menuIndex;
};

TEST_F(ConfigRaceSetParser, EverySliderTypeGetsItsTargetRangeAndMenuIndex) {
    const SliderCase cases[] = {
        {"Nose, 1000, 200, Lo, Hi", 0, 3, -1.0f, 1.0f, 1.0f / 15.0f, "Hi", 101},
        {"Nose, 28, 100, Lo, Hi", 0, 1, -1.5f, 1.5f, 0.1f, "Hi", 13},
        {"Nose, 43, 0, Lo, Hi", 0, 2, -1.5f, 1.5f, 0.1f, "Hi", 43},
        {"Morph, 5, 1, Cheeks", 1, 2, 0.0f, 30.0f, 1.0f, "Cheeks", 102},
        {"Morph, 26, 1, Cheeks, 12", 1, 2, 0.0f, 12.0f, 1.0f, "Cheeks", 11},
        {"Morph, 38, 101, Cheeks", 1, 1, 0.0f, 30.0f, 1.0f, "Cheeks", 38},
        {"Morph, 11, 201, Cheeks, 7x", 1, 3, 0.0f, 7.0f, 1.0f, "Cheeks", 23},
        {"Head, 2000, 2, +NPC Head [Head], 0.75, NPC Neck [Neck], x*2", 2, 2, -0.75f, 0.75f, 0.05f,
         "NPC Head [Head]", 101},
        {"Head, 2000, 202, * NPC Head [Head], 1.5", 2, 3, -1.5f, 1.5f, 0.1f, "NPC Head [Head]", 101},
        {"Move, 3000, 103, NPC Head [Head], 3, 1, 2.5, -3", 3, 1, -3.0f, 3.0f, 0.2f, "NPC Head [Head]", 101},
        {"Preset, 4000, 4, 3", 4, 2, 0.0f, 3.0f, 1.0f, "presetScale", 101},
        {"Preset, 4000, 4", 4, 2, 0.0f, 10.0f, 1.0f, "", 101},
        {"Height, 50, 205, 0.3", 5, 3, -0.3f, 0.3f, 0.02f, "playerscale", 101},
        {"Six, 60, 6", 6, 2, 0.0f, 10.0f, 1.0f, "", 101},
        {"Seven, 70, 107", 7, 1, 0.0f, 10.0f, 1.0f, "", 101},
        {"Eight, 80, 208, ignored", 8, 3, 0.0f, 10.0f, 1.0f, "", 101},
        {"Tint, 100, 10, SkinTone", 10, 2, 0.0f, 10.0f, 1.0f, "SkinTone", 101},
        {"Face, 170, 217, anything", 17, 3, 0.0f, 100.0f, 1.0f, "expression", 101},
        {"Edit, 180, 18", 18, 2, 0.0f, 10.0f, 1.0f, "", 101},
    };
    for (const SliderCase& c : cases) {
        SCOPED_TRACE(c.line);
        Config() = Configuration{};
        RaceSetting r = ParseText(std::string(kHeader) + c.line + "\n");
        ASSERT_EQ(r.raceSetName, "Nord Set");
        ASSERT_EQ(r.sliders.size(), 1u);
        const SliderDef& s = r.sliders[0];
        EXPECT_EQ(s.type, c.type);
        EXPECT_EQ(s.sexMask, c.sexMask);
        EXPECT_FLOAT_EQ(s.minValue, c.minValue);
        EXPECT_FLOAT_EQ(s.maxValue, c.maxValue);
        EXPECT_FLOAT_EQ(s.interval, c.interval);
        EXPECT_EQ(s.target, c.target);
        EXPECT_EQ(s.menuIndex, c.menuIndex);
    }
}

TEST_F(ConfigRaceSetParser, NodeSliderItemsKeepFormulasAndOffsets) {
    RaceSetting r = ParseText(std::string(kHeader) +
                              "Head, 2000, 2, +NPC Head [Head], 0.5, NPC Neck [Neck], x*2, , NPC Spine2 [Spn2]\n"
                              "Move, 3000, 3, NPC Head [Head], 2, 1.5, -2e1, abc\n");
    ASSERT_EQ(r.sliders.size(), 2u);
    EXPECT_EQ(r.sliders[0].extraList,
              (std::vector<std::string>{"+NPC Head [Head]", "x", "NPC Neck [Neck]", "x*2", "", "NPC Spine2 [Spn2]"}));
    EXPECT_DOUBLE_EQ(r.sliders[1].offsetX, 1.5);
    EXPECT_DOUBLE_EQ(r.sliders[1].offsetY, -20.0);
    EXPECT_DOUBLE_EQ(r.sliders[1].offsetZ, 0.0);
    EXPECT_TRUE(r.sliders[1].extraList.empty());
}

TEST_F(ConfigRaceSetParser, HugeRangesStayDefined) {
    RaceSetting r = ParseText(std::string(kHeader) +
                              "Head, 1, 2, NPC Head [Head], 1e400\n"
                              "Tall, 2, 5, -1e39\n"
                              "Morph, 3, 1, M, 99999999999999\n"
                              "Wide, 99999999999, 1, M\n");
    ASSERT_EQ(r.sliders.size(), 4u);
    EXPECT_TRUE(std::isinf(r.sliders[0].maxValue) && r.sliders[0].maxValue > 0);
    EXPECT_TRUE(std::isinf(r.sliders[1].minValue) && r.sliders[1].minValue > 0);
    EXPECT_FLOAT_EQ(r.sliders[2].maxValue, 2147483647.0f);
    EXPECT_EQ(r.sliders[3].uniqueID, 2147483647);
}

TEST_F(ConfigRaceSetParser, InvalidSliderLinesRejectTheFileAtTheirLine) {
    const char* const lines[] = {
        "Nose, 1000, 112, Lo, Hi",      // type 12 does not exist
        "Nose, 1000, 9, Lo, Hi",        // fixed-menu type is not written as a number
        "Nose, 1000, 99, Lo, Hi",       // nor is the merged-duplicate type
        "Nose, 1000, -1, Lo, Hi",
        "Nose, 1000, 0, Lo",            // a pair needs both morphs
        "Nose, 1000, 0, , Hi",
        "Morph, 5, 1",                  // no target
        "Move, 3000, 3, Node, 2, 1, 2", // fewer than eight items
        "Tall, 50, 5",
        "Tint, 100, 10",
        "Nose, 0, 0, Lo, Hi",           // uniqueID must be positive
        "Nose, -4, 0, Lo, Hi",
        "Nose, abc, 0, Lo, Hi",
        "Nose, 1000",                   // fewer than three items
        "Nose",
        "-hair",                        // a fixed-menu name without its uniqueID
        "Edit, 180, 18, missing.txt",   // a vertex-edit file that cannot be read
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        Config() = Configuration{};
        log.Clear();
        RaceSetting r = ParseText(std::string("racesetname=Nord Set\n# comment\n\n[-body]\nOk, 1, 6\n") + line +
                                  "\nracesetname=Later\n");
        EXPECT_EQ(r.raceSetName, "");
        ASSERT_FALSE(log.Lines().empty());
        EXPECT_EQ(log.Lines().back(), "    ERROR: ini: invalid data at line 6 in Meshes\\Vultrane\\test.ini");
    }
}

TEST_F(ConfigRaceSetParser, SectionHeaders) {
    RaceSetting r = ParseText(
        "racesetname=Nord Set\n"
        "[-HEAD]\nA, 1, 6\n"
        "[ -Mouth ]\nB, 2, 6\n"
        "[Ears]\nC, 3, 6\n"
        "[Ears]\nD, 4, 6\n"
        "[-]\nE, 5, 6\n"
        "[Tail)\nF, 6, 6\n");
    ASSERT_EQ(r.raceSetName, "Nord Set");
    ASSERT_EQ(r.sliders.size(), 6u);
    const uint32_t masks[] = {1u << 3, 1u << 7, 1u << 10, 1u << 11, 1u << 12, 1u << 13};
    const char* const names[] = {"head", "mouth", "Ears", "Ears", "-", "Tail"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(r.sliders[i].categoryMask, masks[i]) << i;
        EXPECT_EQ(r.sliders[i].categoryName, names[i]) << i;
    }

    // Bad headers: the message names the line, counting comments and blank lines.
    const char* const bad[] = {"[]", "[", "[x", "[-legs]", "[-body ]x", "[   ]"};
    for (const char* header : bad) {
        SCOPED_TRACE(header);
        log.Clear();
        RaceSetting rejected = ParseText(std::string("racesetname=Nord Set\n\n# note\n") + header + "\nA, 1, 6\n");
        EXPECT_EQ(rejected.raceSetName, "");
        EXPECT_EQ(log.Lines(), std::vector<std::string>{
                                   "    ERROR: ini: unknown category name at line 4 in Meshes\\Vultrane\\test.ini"});
    }
}

TEST_F(ConfigRaceSetParser, CustomSectionBitsWrapAfterTwentyTwo) {
    std::string text = "racesetname=Many\n";
    for (int i = 0; i < 23; ++i) text += "[Custom " + std::to_string(i) + "]\nS" + std::to_string(i) + ", " +
                                         std::to_string(i + 1) + ", 6\n";
    RaceSetting r = ParseText(text);
    ASSERT_EQ(r.sliders.size(), 23u);
    EXPECT_EQ(r.sliders[0].categoryMask, 1u << 10);
    EXPECT_EQ(r.sliders[21].categoryMask, 1u << 31);
    EXPECT_EQ(r.sliders[22].categoryMask, 1u);  // code 32 shares bit 0
    EXPECT_EQ(r.sliders[22].categoryName, "Custom 22");
}

TEST_F(ConfigRaceSetParser, HeaderKeys) {
    RaceSetting r = ParseText(
        "RaceSetName = First\n"
        "racesetname=Nord Set\n"
        "racemorph=NordMorph.tri\n"
        "files=data\\a\\femalehead.tri, Src1.tri, Src2.tri\n"
        "files=onlyone.tri\n"
        "mfiles=data\\a\\malehead.tri, M1.tri\n"
        "mfiles = t.tri,\n"
        "unknown=1\n"
        "a=b=c\n"
        "just text\n"
        "racemorph=\n");
    EXPECT_EQ(r.raceSetName, "Nord Set");
    EXPECT_EQ(r.raceMorph, "NordMorph.tri");
    EXPECT_EQ(r.fileSetNames, std::vector<std::string>{"data\\a\\femalehead.tri"});
    ASSERT_EQ(r.fileSets.size(), 1u);
    EXPECT_EQ(r.fileSets[0], (std::vector<std::string>{"Src1.tri", "Src2.tri"}));
    EXPECT_EQ(r.maleFileSetNames, std::vector<std::string>{"data\\a\\malehead.tri"});
    ASSERT_EQ(r.maleFileSets.size(), 1u);
    EXPECT_EQ(r.maleFileSets[0], std::vector<std::string>{"M1.tri"});
    EXPECT_TRUE(r.sliders.empty());
    EXPECT_TRUE(Errors().empty());

    // Keys are read only before the first section.
    log.Clear();
    RaceSetting late = ParseText("[-face]\nracesetname=Late\n");
    EXPECT_EQ(late.raceSetName, "");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"    ERROR: ini: invalid data at line 2 in Meshes\\Vultrane\\test.ini"});

    log.Clear();
    RaceSetting unnamed = ParseText("racemorph=x\n[-face]\nA, 1, 6\n");
    EXPECT_EQ(unnamed.raceSetName, "");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"    ERROR: ini: invalid data (no raceSetName) in Meshes\\Vultrane\\test.ini"});

    log.Clear();
    RaceSetting missing = ParseRaceSetFile(kConfigDirectory, "sets\\none.ini");
    EXPECT_EQ(missing.raceSetName, "");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"    ERROR: system: Meshes\\Vultrane\\sets\\none.ini not exist"});
}

TEST_F(ConfigRaceSetParser, FixedMenuLines) {
    RaceSetting r = ParseText(std::string(kHeader) +
                              "-Hair, 9, extra, items\n"
                              "- HairColor, 10\n"
                              "-sex, 1\n"
                              "[-head]\n"
                              "-hair, 9\n");
    ASSERT_EQ(r.sliders.size(), 4u);
    const SliderDef& hair = r.sliders[0];
    EXPECT_EQ(hair.name, "hair");
    EXPECT_EQ(hair.type, 9);
    EXPECT_EQ(hair.sexMask, 3);
    EXPECT_EQ(hair.menuIndex, 9);
    EXPECT_EQ(hair.categoryMask, (1u << 2) | (1u << 3));  // merged with the later declaration
    EXPECT_FLOAT_EQ(hair.minValue, -1.0f);
    EXPECT_FLOAT_EQ(hair.maxValue, 1.0f);
    EXPECT_FLOAT_EQ(hair.interval, 0.1f);
    EXPECT_EQ(r.sliders[1].name, "haircolor");
    EXPECT_EQ(r.sliders[1].type, 10);  // a colour-menu uniqueID
    EXPECT_EQ(r.sliders[1].menuIndex, 10);
    EXPECT_EQ(r.sliders[2].menuIndex, -1);
    EXPECT_EQ(r.sliders[3].type, 99);
    EXPECT_EQ(FindSliderForValue(r, 9, 1), 0);

    struct Bad {
        const char* line;
        const char* message;
    } const bad[] = {
        {"-wings, 5", "    ERROR: ini: unknown fixed-menu name at line 3 in Meshes\\Vultrane\\test.ini"},
        {"-hair, 0", "    ERROR: ini: invalid data at line 3 in Meshes\\Vultrane\\test.ini"},
        {"-, 5", "    ERROR: ini: invalid data at line 3 in Meshes\\Vultrane\\test.ini"},
        {"-dirt, 4\n-scars, 4", "    ERROR: ini: this uniqueID is already used at line 4 in Meshes\\Vultrane\\test.ini"},
        // A fixed-menu line meets any earlier slider of its uniqueID, whatever its sex mask.
        {"Nose, 7, 100, Lo, Hi\n-dirt, 7", "    ERROR: ini: this uniqueID is already used at line 4 in Meshes\\Vultrane\\test.ini"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.line);
        log.Clear();
        RaceSetting rejected = ParseText(std::string(kHeader) + b.line + "\n");
        EXPECT_EQ(rejected.raceSetName, "");
        EXPECT_EQ(log.Lines(), std::vector<std::string>{b.message});
    }
}

TEST_F(ConfigRaceSetParser, DuplicateDeclarationsMergeOrReject) {
    RaceSetting r = ParseText(std::string(kHeader) +
                              "Nose, 1000, 0, Lo, Hi\n"
                              "Nose, 1000, 100, MLo, MHi\n"  // same id for the other sex: a second slider
                              "[-face]\n"
                              "Nose, 1000, 0, Lo2, Hi2\n"    // same slider listed again
                              "[Extra]\n"
                              "Nose, 1000, 0, Lo3, Hi3\n");
    ASSERT_EQ(r.raceSetName, "Nord Set");
    ASSERT_EQ(r.sliders.size(), 4u);
    EXPECT_EQ(r.sliders[0].categoryMask, (1u << 2) | (1u << 4) | (1u << 10));
    EXPECT_EQ(r.sliders[0].type, 0);
    EXPECT_EQ(r.sliders[1].categoryMask, 1u << 2);
    EXPECT_EQ(r.sliders[2].type, 99);
    EXPECT_EQ(r.sliders[3].type, 99);
    EXPECT_EQ(r.sliders[2].categoryMask, 1u << 4);  // the duplicate keeps its own bit
    EXPECT_EQ(FindSliderForValue(r, 1000, 2), 0);
    EXPECT_EQ(FindSliderForValue(r, 1000, 1), 1);
    EXPECT_EQ(FindSliderForValue(r, 1001, 2), -1);

    log.Clear();
    RaceSetting clash = ParseText(std::string(kHeader) + "Nose, 1000, 0, Lo, Hi\n\nMouth, 1000, 6\n");
    EXPECT_EQ(clash.raceSetName, "");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "    ERROR: ini: this uniqueID is already used at line 5 in Meshes\\Vultrane\\test.ini"});
}

TEST_F(ConfigRaceSetParser, PresetScaleRowsJoinTheSliderBeforeThem) {
    RaceSetting r = ParseText(std::string(kHeader) +
                              "Row, 50, 4, 3\n"
                              "Row, 50, 4, a, 1, b, 2\n"
                              "Row, 50, 4\n"
                              "Row, 50, 4, c, 3, d\n"
                              "Other, 51, 6\n"
                              "Row, 50, 4, e, 5\n");  // not right after its slider: a new slider, a duplicate
    ASSERT_EQ(r.raceSetName, "Nord Set");
    ASSERT_EQ(r.sliders.size(), 3u);
    const SliderDef& row = r.sliders[0];
    EXPECT_EQ(row.type, 4);
    EXPECT_EQ(row.target, "presetScale");
    EXPECT_FLOAT_EQ(row.maxValue, 3.0f);
    EXPECT_EQ(row.extraList, (std::vector<std::string>{"a,1,b,2,", "", "c,3,"}));
    EXPECT_EQ(r.sliders[2].type, 99);
    EXPECT_TRUE(r.sliders[2].extraList.empty());
}

TEST_F(ConfigRaceSetParser, LinesAreTrimmedAndReadWhole) {
    RaceSetting r = ParseText(std::string(kHeader) + ", x, 5, 10, Morph ,\r\n\t y,6,10,M2");  // no last line feed
    ASSERT_EQ(r.sliders.size(), 2u);
    EXPECT_EQ(r.sliders[0].name, "x");
    EXPECT_EQ(r.sliders[0].target, "Morph");
    EXPECT_EQ(r.sliders[1].target, "M2");  // the last character of an unterminated last line stays

    // Lines around and beyond the 1023-byte pieces of the stream stay whole, and count as one.
    for (size_t length : {1021u, 1022u, 1023u, 1024u, 2046u, 2047u, 5000u}) {
        SCOPED_TRACE(length);
        std::string prefix = "Long, 1, 10, ";
        std::string target = prefix + std::string(length - prefix.size() - 1, 'm') + "Z";
        for (bool terminated : {true, false}) {
            RaceSetting longLine = ParseText(std::string(kHeader) + target + (terminated ? "\nNext, 2, 6\n" : ""));
            ASSERT_EQ(longLine.sliders.size(), terminated ? 2u : 1u);
            EXPECT_EQ(longLine.sliders[0].target.size(), length - prefix.size());
            EXPECT_EQ(longLine.sliders[0].target.back(), 'Z');
        }
        log.Clear();
        ParseText(std::string(kHeader) + target + "\nBad\n");
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"    ERROR: ini: invalid data at line 4 in Meshes\\Vultrane\\test.ini"});
    }
}

TEST_F(ConfigRaceSetParser, FileWithoutSectionsIsAccepted) {
    RaceSetting r = ParseText("# only a name\nracesetname=Empty");
    EXPECT_EQ(r.raceSetName, "Empty");
    EXPECT_TRUE(r.sliders.empty());
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
