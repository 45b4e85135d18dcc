#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "menu/tints.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Rgba {
    int r, g, b;
    float alpha;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && alpha == o.alpha; }
};
std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.alpha << ")";
}
Rgba Of(const TintMask* m) { return {m->red, m->green, m->blue, m->alpha}; }

class TintMenu : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        npc = sim::AddNpc(1);
        npc->skinColorRed = 1;
        npc->skinColorGreen = 2;
        npc->skinColorBlue = 3;
        sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    }
    void TearDown() override { sim::ResetWorld(); }

    void SetColor(double index, double argb) {
        menu.Call("SetNthTintColor", {MenuHarness::Number(index), MenuHarness::Number(argb)});
    }
    std::vector<const GFxValue*> List() {
        GFxValue& result = menu.NewArray();
        menu.Call("GetTintsList", {result});
        return vtrtest::Elements(result);
    }

    TESNPC* npc = nullptr;
    MenuHarness menu;
};

TEST_F(TintMenu, SetNthTintColorOnAPlainLayerAndItsSecondListCounterpart) {
    sim::AddTint(false, 6, true, "skin.dds", 9, 9, 9, 1.0f);
    sim::AddTint(false, 7, true, "paint.dds", 9, 9, 9, 1.0f);
    TintMask* lips = sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f);
    TintMask* second[3];
    for (int i = 0; i < 3; ++i) second[i] = sim::AddTint(true, 1, true, "second.dds", 9, 9, 9, 1.0f);

    SetColor(2, 0x80FF0000);
    EXPECT_EQ(Of(lips), (Rgba{255, 0, 0, 128.0f / 255.0f}));
    EXPECT_EQ(Of(second[2]), (Rgba{255, 0, 0, 128.0f / 255.0f}));
    EXPECT_EQ(Of(second[0]), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ(Of(second[1]), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ((Rgba{npc->skinColorRed, npc->skinColorGreen, npc->skinColorBlue, 0}), (Rgba{1, 2, 3, 0}));
}

TEST_F(TintMenu, SkinToneFadesTowardGreyAndStaysOpaque) {
    sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f);
    sim::AddTint(false, 7, true, "paint.dds", 9, 9, 9, 1.0f);
    TintMask* skin = sim::AddTint(false, 6, true, "skin.dds", 9, 9, 9, 0.2f);

    SetColor(2, 0x80FF0000);
    EXPECT_EQ(Of(skin), (Rgba{255, 127, 127, 1.0f}));
    EXPECT_EQ((Rgba{npc->skinColorRed, npc->skinColorGreen, npc->skinColorBlue, 1.0f}), (Rgba{255, 127, 127, 1.0f}));

    // Alpha 0 takes all colour away but keeps the brightness.
    SetColor(2, 0x0040C080);
    EXPECT_EQ(Of(skin), (Rgba{192, 192, 192, 1.0f}));
}

TEST_F(TintMenu, SkinToneAtFullAlphaKeepsEveryColour) {
    TintMask* skin = sim::AddTint(false, 6, true, "skin.dds", 0, 0, 0, 1.0f);
    int changed = 0;
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 3)
            for (int b = 0; b < 256; b += 7) {
                const uint32_t argb = 0xFF000000u | (r << 16) | (g << 8) | b;
                ApplyTintColor(skin, argb, npc);
                changed += !(Of(skin) == Rgba{r, g, b, 1.0f});
            }
    EXPECT_EQ(changed, 0);
}

TEST_F(TintMenu, OnlyTheMainListChangesWithoutASecondList) {
    TintMask* lips = sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f);
    ASSERT_EQ(Player_SecondTintList(sim::Player()), nullptr);
    SetColor(0, 0xFF102030);
    EXPECT_EQ(Of(lips), (Rgba{0x10, 0x20, 0x30, 1.0f}));
    menu.Call("SetNthTintPath", {MenuHarness::Number(0), menu.String("new.dds")});
    EXPECT_STREQ(lips->texture->str.data, "new.dds");
}

TEST_F(TintMenu, IndicesOutsideTheListsChangeNothing) {
    TintMask* lips = sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f);
    TintMask* second = sim::AddTint(true, 1, true, "second.dds", 9, 9, 9, 1.0f);
    sim::AddTint(true, 1, true, "second2.dds", 9, 9, 9, 1.0f);
    for (double index : {-1.0, -0.5e10, 2.0, 4294967295.0, kInf, -kInf, 1e300, -1e300}) {
        SetColor(index, 0xFF000000);
        menu.Call("SetNthTintPath", {MenuHarness::Number(index), menu.String("other.dds")});
    }
    EXPECT_EQ(Of(lips), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ(Of(second), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_STREQ(lips->texture->str.data, "lips.dds");
    EXPECT_STREQ(second->texture->str.data, "second.dds");

    // The second list may be longer than the main one: its extra entries are still reached.
    menu.Call("SetNthTintPath", {MenuHarness::Number(1), menu.String("extra.dds")});
    EXPECT_STREQ(sim::Player()->overlayTintMasks->entries[1]->texture->str.data, "extra.dds");

    // A NaN index reads as 0.
    SetColor(kNaN, 0xFF010203);
    EXPECT_EQ(Of(lips), (Rgba{1, 2, 3, 1.0f}));
}

TEST_F(TintMenu, ListLeavesOutLayersWithoutTextureAndKeepsPositions) {
    sim::AddTint(false, 6, true, "skin.dds", 10, 20, 30, 1.0f);
    sim::AddTint(false, 7, false, "", 1, 1, 1, 1.0f);
    sim::AddTint(false, 1, true, "lips.dds", 200, 100, 50, 0.5f);
    auto records = List();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(vtrtest::MemberNames(*records[0]), (std::vector<std::string>{"index", "color", "type", "path"}));
    EXPECT_EQ(vtrtest::Num(*records[0], "index"), 0);
    EXPECT_EQ(vtrtest::Num(*records[0], "color"), 0xFF0A141E);
    EXPECT_EQ(vtrtest::Num(*records[0], "type"), 6);
    EXPECT_EQ(vtrtest::Str(*records[0], "path"), "skin.dds");
    EXPECT_EQ(vtrtest::Num(*records[1], "index"), 2);
    EXPECT_EQ(vtrtest::Num(*records[1], "color"), 0x7FC86432);
    EXPECT_EQ(vtrtest::Num(*records[1], "type"), 1);
    EXPECT_EQ(vtrtest::Str(*records[1], "path"), "lips.dds");

    // The path is replaced on a layer with a texture; a layer without one stays without.
    menu.Call("SetNthTintPath", {MenuHarness::Number(1.7), menu.String("paint.dds")});
    menu.Call("SetNthTintPath", {MenuHarness::Number(2.2), menu.String(std::string(5000, 'p').c_str())});
    EXPECT_EQ(sim::Player()->tintMasks.entries[1]->texture, nullptr);
    records = List();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(vtrtest::Str(*records[1], "path"), std::string(5000, 'p'));
    menu.Call("SetNthTintPath", {MenuHarness::Number(2), menu.String("")});
    EXPECT_EQ(vtrtest::Str(*List()[1], "path"), "");
}

TEST_F(TintMenu, ColourSetIsTheColourListed) {
    sim::AddTint(false, 1, true, "lips.dds", 0, 0, 0, 0.0f);
    sim::AddTint(false, 6, true, "skin.dds", 0, 0, 0, 0.0f);
    for (uint32_t a = 0; a < 256; ++a) {
        const uint32_t argb = (a << 24) | 0x00C08040u;
        SetColor(0, argb);
        SetColor(1, 0xFF000000u | (a << 16) | ((255 - a) << 8) | (a / 2));
        auto records = List();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(vtrtest::Num(*records[0], "color"), argb) << a;
        EXPECT_EQ(vtrtest::Num(*records[1], "color"), 0xFF000000u | (a << 16) | ((255 - a) << 8) | (a / 2)) << a;
    }
    // Colours beyond 32 bits keep their low 32 bits.
    SetColor(0, 4294967296.0 * 3 + 0x11223344);
    EXPECT_EQ(vtrtest::Num(*List()[0], "color"), 0x11223344);
}

TEST_F(TintMenu, PlayerAndVisibleTintColourWithSecondList) {
    TintMask* main[4] = {
        sim::AddTint(false, 7, true, "p0.dds", 9, 9, 9, 0.0f),   // hidden
        sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f),
        sim::AddTint(false, 7, true, "p1.dds", 9, 9, 9, 0.5f),
        sim::AddTint(false, 7, true, "p2.dds", 9, 9, 9, 1.0f),
    };
    TintMask* second[3];
    for (int i = 0; i < 3; ++i) second[i] = sim::AddTint(true, 7, true, "s.dds", 9, 9, 9, 1.0f);

    // Type 7, index 1 is the third layer of the main list; its counterpart is position 2.
    SetPlayerTintColor(0xFF112233, 7, 1);
    EXPECT_EQ(Of(main[2]), (Rgba{0x11, 0x22, 0x33, 1.0f}));
    EXPECT_EQ(Of(second[2]), (Rgba{0x11, 0x22, 0x33, 1.0f}));
    EXPECT_EQ(Of(second[1]), (Rgba{9, 9, 9, 1.0f}));
    SetPlayerTintColor(0xFF445566, 7, 2);  // position 3 has no counterpart
    EXPECT_EQ(Of(main[3]), (Rgba{0x44, 0x55, 0x66, 1.0f}));
    SetPlayerTintColor(0xFF000000, 7, 3);  // no such layer
    SetPlayerTintColor(0xFF000000, 2, 0);

    // Visible war paint only; alpha 0 becomes 1/255 so that it is found again.
    SetVisibleTintsColor(0x00ABCDEF);
    EXPECT_EQ(Of(main[0]), (Rgba{9, 9, 9, 0.0f}));
    EXPECT_EQ(Of(main[1]), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ(Of(main[2]), (Rgba{0xAB, 0xCD, 0xEF, 1.0f / 255.0f}));
    EXPECT_EQ(Of(main[3]), (Rgba{0xAB, 0xCD, 0xEF, 1.0f / 255.0f}));
    EXPECT_EQ(Of(second[2]), (Rgba{0xAB, 0xCD, 0xEF, 1.0f / 255.0f}));
    EXPECT_EQ(Of(second[0]), (Rgba{9, 9, 9, 1.0f}));
    SetVisibleTintsColor(0x80010203);
    EXPECT_EQ(Of(main[2]), (Rgba{1, 2, 3, 128.0f / 255.0f}));
    EXPECT_EQ(Of(main[0]), (Rgba{9, 9, 9, 0.0f}));
}

TEST_F(TintMenu, NothingChangesWithoutPlayerOrNpcForm) {
    vtrtest::LogCapture log;
    sim::ResetWorld();
    sim::CreatePlayer(sim::AddOtherForm(), nullptr);
    TintMask* paint = sim::AddTint(false, 7, true, "paint.dds", 9, 9, 9, 1.0f);
    // Colouring needs the NPC form (the skin colour lives there); listing and paths do not.
    SetColor(0, 0xFF000000);
    SetPlayerTintColor(0xFF000000, 7, 0);
    SetVisibleTintsColor(0xFF000000);
    EXPECT_EQ(Of(paint), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ(List().size(), 1u);
    menu.Call("SetNthTintPath", {MenuHarness::Number(0), menu.String("x.dds")});
    EXPECT_STREQ(paint->texture->str.data, "x.dds");

    sim::RemovePlayer();
    EXPECT_TRUE(List().empty());
    SetColor(0, 0xFF000000);
    menu.Call("SetNthTintPath", {MenuHarness::Number(0), menu.String("y.dds")});
    SetVisibleTintsColor(0xFF000000);
    EXPECT_EQ(Of(paint), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_STREQ(paint->texture->str.data, "x.dds");
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(TintMenu, WrongArgumentsAreReported) {
    vtrtest::LogCapture log;
    TintMask* lips = sim::AddTint(false, 1, true, "lips.dds", 9, 9, 9, 1.0f);
    menu.Call("GetTintsList", {});
    menu.Call("SetNthTintPath", {MenuHarness::Number(0), MenuHarness::Number(1)});
    menu.Call("SetNthTintColor", {MenuHarness::Number(0), MenuHarness::Bool(true)});
    menu.Call("SetNthTintColor", {MenuHarness::Number(0)});
    EXPECT_EQ(Of(lips), (Rgba{9, 9, 9, 1.0f}));
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "    ERROR: system: invalid arguments. Quorvix.GetTintsList(result:Array).",
                  "    ERROR: system: invalid arguments. Quorvix.SetNthTintPath(index:Number, path:String).",
                  "    ERROR: system: invalid arguments. Quorvix.SetNthTintColor(index:Number, color:Number).",
                  "    ERROR: system: invalid arguments. Quorvix.SetNthTintColor(index:Number, color:Number).",
              }));
}

}  // namespace
