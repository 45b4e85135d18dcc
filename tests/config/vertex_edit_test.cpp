#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/config/config_fixture.h"

namespace {

using vtrconfigtest::ConfigFixture;
using ConfigVertexEdit = ConfigFixture;

const std::string kPath = "data\\Meshes\\Vultrane\\edit.txt";

TEST_F(ConfigVertexEdit, MaleMainSectionFillsOnlyTheMaleBlock) {
    WriteConfig("edit.txt", "[MainModel_M]\nvertexnum=1500\n1, 2, 3, 4, 5, 6, 7, 8, 9\n");
    vertexEditData* data = GetVertexEditData(kPath);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->path, kPath);
    EXPECT_EQ(data->male.vertexNum, 1500);
    ASSERT_EQ(data->male.mainRecords.size(), 2u);
    EXPECT_EQ(data->male.mainRecords[0].vertexID, 1);
    EXPECT_EQ(data->male.mainRecords[0].mirrorVertID, 2);
    EXPECT_EQ(data->male.mainRecords[0].uvPosX, 3);
    EXPECT_EQ(data->male.mainRecords[0].uvPosY, 4);
    EXPECT_EQ(data->male.mainRecords[1].vertexID, 5);
    EXPECT_EQ(data->male.mainRecords[1].uvPosY, 8);
    EXPECT_EQ(data->female.vertexNum, 0);
    EXPECT_TRUE(data->female.mainRecords.empty() && data->female.extraModels.empty());
    EXPECT_EQ(&data->Block(1), &data->male);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ConfigVertexEdit, SectionsKeysAndExtraEntries) {
    WriteConfig("edit.txt",
                "name=ignored before any section\n"
                "[mainmodel]\n"
                "Name = data\\meshes\\femalehead.tri\n"
                "uvmap=uv.dds\n"
                "VertexTints=tints.dds\n"
                "vertexnum=12x\n"
                "10, 11, 12, 13\n"
                "[extramodel]\n"
                "[extramodel]\n"  // no line before the next header: no entry
                "name=data\\meshes\\eyes.tri\n"
                "1, 2, 3, 4, 5\n"
                "[]\n"            // skipped, but it ends the current extra entry
                "6, 7\n"
                "[extramodel]\n"
                "8, 9\n"
                "[mainmodel]\n"
                "uvmap=uv2.dds\n"
                "20, 21, 22, 23\n"
                "[extramodel_m]\n"
                "name=male.tri\n");
    vertexEditData* data = GetVertexEditData(kPath);
    ASSERT_NE(data, nullptr);
    const VertexEditSexBlock& f = data->female;
    EXPECT_EQ(f.name, "data\\meshes\\femalehead.tri");
    EXPECT_EQ(f.uvMap, "uv2.dds");  // a repeated section goes on filling the same block
    EXPECT_EQ(f.vertexTints, "tints.dds");
    EXPECT_EQ(f.vertexNum, 12);
    ASSERT_EQ(f.mainRecords.size(), 2u);
    EXPECT_EQ(f.mainRecords[1].vertexID, 20);
    ASSERT_EQ(f.extraModels.size(), 3u);
    EXPECT_EQ(f.extraModels[0].name, "data\\meshes\\eyes.tri");
    EXPECT_EQ(f.extraModels[0].pairs, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {3, 4}}));
    EXPECT_EQ(f.extraModels[1].name, "");
    EXPECT_EQ(f.extraModels[1].pairs, (std::vector<std::pair<int32_t, int32_t>>{{6, 7}}));
    EXPECT_EQ(f.extraModels[2].pairs, (std::vector<std::pair<int32_t, int32_t>>{{8, 9}}));
    ASSERT_EQ(data->male.extraModels.size(), 1u);
    EXPECT_EQ(data->male.extraModels[0].name, "male.tri");
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ConfigVertexEdit, ErrorsNameTheLineAndTheShortenedPath) {
    struct Case {
        const char* text;
        const char* message;
    } const cases[] = {
        {"# x\n\n[model]\n", "    ERROR: ini: unknown category name at line 3 in Meshes\\Vultrane\\edit.txt"},
        {"[mainmodel]\nsize=4\n", "    ERROR: ini: unknown \"entryName=\" at line 2 in Meshes\\Vultrane\\edit.txt"},
        {"[extramodel]\nvertexnum=4\n", "    ERROR: ini: unknown \"entryName=\" at line 2 in Meshes\\Vultrane\\edit.txt"},
        {"[mainmodel]\n1, 2, 3\n", "    ERROR: ini: unknown mainCategory data at line 2 in Meshes\\Vultrane\\edit.txt"},
        {"[mainmodel]\nname=\n", "    ERROR: ini: unknown mainCategory data at line 2 in Meshes\\Vultrane\\edit.txt"},
        {"[extramodel_m]\n\n5\n", "    ERROR: ini: unknown extraCategory data at line 3 in Meshes\\Vultrane\\edit.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Config() = Configuration{};
        log.Clear();
        WriteConfig("edit.txt", c.text);
        EXPECT_EQ(GetVertexEditData(kPath), nullptr);
        EXPECT_EQ(log.Lines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(Config().vertexEditCache.empty());
    }
    log.Clear();
    EXPECT_EQ(GetVertexEditData("data\\Meshes\\Vultrane\\none.txt"), nullptr);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"    ERROR: system: Meshes\\Vultrane\\none.txt not exist"});
}

TEST_F(ConfigVertexEdit, CacheReadsEachFileOnceAndKeepsAddresses) {
    WriteConfig("edit.txt", "[mainmodel]\nvertexnum=7\n");
    vertexEditData* first = GetVertexEditData(kPath);
    ASSERT_NE(first, nullptr);
    WriteConfig("edit.txt", "[mainmodel]\nvertexnum=8\n");
    EXPECT_EQ(GetVertexEditData(kPath), first);
    EXPECT_EQ(first->female.vertexNum, 7);  // not read again

    // The path is the key as written: another spelling is another entry.
    vertexEditData* other = GetVertexEditData("data\\meshes\\vultrane\\EDIT.txt");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(other->female.vertexNum, 8);

    for (int i = 0; i < 200; ++i) {
        std::string name = "e" + std::to_string(i) + ".txt";
        WriteConfig(name, "[mainmodel]\nvertexnum=" + std::to_string(i) + "\n");
        ASSERT_NE(GetVertexEditData("data\\Meshes\\Vultrane\\" + name), nullptr);
    }
    EXPECT_EQ(GetVertexEditData(kPath), first);  // still where it was handed out
    EXPECT_EQ(first->female.vertexNum, 7);

    // A failure is not cached: once the file is fixed it loads.
    WriteConfig("late.txt", "[bad]\n");
    EXPECT_EQ(GetVertexEditData("data\\Meshes\\Vultrane\\late.txt"), nullptr);
    WriteConfig("late.txt", "[mainmodel]\nvertexnum=3\n");
    vertexEditData* late = GetVertexEditData("data\\Meshes\\Vultrane\\late.txt");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->female.vertexNum, 3);
}

TEST_F(ConfigVertexEdit, RaceSetsShareTheFileTheyName) {
    WriteConfig("edit.txt", "[mainmodel]\nvertexnum=9\n");
    RaceSetting a = ParseText("racesetname=A\n[-face]\nEdit, 180, 18, edit.txt\n");
    RaceSetting b = ParseText("racesetname=B\n[-face]\nEdit, 180, 218, edit.txt\n");
    ASSERT_NE(a.vertexEdit, nullptr);
    EXPECT_EQ(a.vertexEdit, b.vertexEdit);
    EXPECT_EQ(b.sliders[0].target, "edit.txt");
    EXPECT_EQ(Config().vertexEditCache.size(), 1u);

    // A rejected race set keeps the vertex-edit file that it caused to be read.
    WriteConfig("second.txt", "[mainmodel]\n");
    RaceSetting rejected = ParseText("racesetname=C\n[-face]\nEdit, 181, 18, second.txt\nBroken\n");
    EXPECT_EQ(rejected.raceSetName, "");
    EXPECT_EQ(Config().vertexEditCache.size(), 2u);
}

}  // namespace
