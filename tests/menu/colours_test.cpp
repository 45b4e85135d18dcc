#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "menu/colours.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class ColourMenu : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetWorld(); }
    void TearDown() override { sim::ResetWorld(); }

    // The record ARGB2HSL appends, as {h, s, l, alpha}; checks the member order too.
    std::vector<double> ToHsl(double argb) {
        GFxValue& result = menu.NewArray();
        menu.Call("ARGB2HSL", {MenuHarness::Number(argb), result});
        auto records = vtrtest::Elements(result);
        EXPECT_EQ(records.size(), 1u);
        if (records.size() != 1) return {};
        EXPECT_EQ(vtrtest::MemberNames(*records[0]), (std::vector<std::string>{"h", "s", "l", "alpha"}));
        return {vtrtest::Num(*records[0], "h"), vtrtest::Num(*records[0], "s"), vtrtest::Num(*records[0], "l"),
                vtrtest::Num(*records[0], "alpha")};
    }

    double ToArgb(double h, double s, double l, double a) {
        const GFxValue& r = menu.Call("HSL2ARGB", {MenuHarness::Number(h), MenuHarness::Number(s),
                                                   MenuHarness::Number(l), MenuHarness::Number(a)});
        EXPECT_EQ(r.type & kGFxTypeMask, kGFxType_Number);
        return r.data.number;
    }

    MenuHarness menu;
};

TEST_F(ColourMenu, ConversionsBothWays) {
    struct ToHslRow {
        double argb;
        std::vector<double> hsla;
    };
    const ToHslRow toHsl[] = {
        {4294901760.0, {0, 100, 50, 100}},  // 0xFFFF0000
        {0x80123456, {210, 65, 20, 50}},
        {0xFF808080, {0, 0, 50, 100}},
        {0xFFFFFF00, {60, 100, 50, 100}},
        {0xFF00FFFF, {180, 100, 50, 100}},
        {0xFFFF00FF, {300, 100, 50, 100}},
        {0x00000000, {0, 0, 0, 0}},
        // Numbers outside the colour range keep their low 32 bits; NaN reads as 0.
        {4294967296.0 + 0xFF0000FF, {240, 100, 50, 100}},
        {kNaN, {0, 0, 0, 0}},
    };
    for (const ToHslRow& row : toHsl) EXPECT_EQ(ToHsl(row.argb), row.hsla) << std::hex << row.argb;

    struct ToArgbRow {
        double h, s, l, a;
        uint32_t argb;
    };
    const ToArgbRow toArgb[] = {
        {0, 100, 50, 100, 0xFFFF0000},
        {30, 100, 50, 100, 0xFFFF7F00},
        {0, 0, 50, 100, 0xFF7F7F7F},
        {360, 100, 50, 100, 0xFFFF0000},
        {-30, 100, 50, 100, 0xFFFF007F},
        {0, 0, 100, 0, 0x00FFFFFF},
        // Hues beyond one turn wrap.
        {750, 100, 50, 100, 0xFFFF7F00},
        {-390, 100, 50, 100, 0xFFFF007F},
        {-360, 100, 50, 100, 0xFFFF0000},
        {720, 100, 50, 100, 0xFFFF0000},
        // A hue that is not a number counts as 0.
        {kNaN, 100, 50, 100, 0xFFFF0000},
        {kInf, 100, 50, 100, 0xFFFF0000},
        {-kInf, 100, 50, 100, 0xFFFF0000},
        // Channels beyond 0..255 are held there instead of spilling into their neighbour.
        {0, 200, 50, 100, 0xFFFF0000},
        {0, 0, 150, 100, 0xFFFFFFFF},
        {0, 0, -50, 100, 0xFF000000},
        {0, 0, 100, 400, 0xFFFFFFFF},
        {0, 0, 0, -10, 0x00000000},
        {0, 0, 1e300, -1e300, 0x00FFFFFF},
        {0, kNaN, 50, 100, 0xFF000000},
        {0, 0, kNaN, kNaN, 0x00000000},
    };
    for (const ToArgbRow& row : toArgb)
        EXPECT_EQ(ToArgb(row.h, row.s, row.l, row.a), static_cast<double>(row.argb))
            << row.h << " " << row.s << " " << row.l << " " << row.a;
}

TEST_F(ColourMenu, EveryHueGivesAFullySaturatedColour) {
    // Full saturation at half lightness: one channel 255 and one 0, whatever the sector; a
    // wrong sector or an unwrapped hue breaks this.
    for (double h = -1000; h <= 1000; h += 7.25) {
        const uint32_t argb = MenuHslToArgb(h, 100, 50, 100);
        const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        EXPECT_EQ(argb >> 24, 255u) << h;
        EXPECT_EQ(std::max({r, g, b}), 255) << h;
        EXPECT_EQ(std::min({r, g, b}), 0) << h;
    }
    // Huge finite hues are wrapped too.
    for (double h : {1e300, -1e300, 1e20, std::nextafter(360.0, 0.0), -1e-300}) {
        const uint32_t argb = MenuHslToArgb(h, 100, 50, 100);
        const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        EXPECT_EQ(std::max({r, g, b}), 255) << h;
        EXPECT_EQ(std::min({r, g, b}), 0) << h;
    }
}

TEST_F(ColourMenu, ConvertingBackKeepsTheHueOfSaturatedColours) {
    // ARGB2HSL then HSL2ARGB comes back within the truncation of whole percent and degrees.
    for (uint32_t argb : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFF8000u, 0xFF20C0F0u, 0x80808080u}) {
        const MenuHsl hsl = ArgbToMenuHsl(argb);
        const uint32_t back = MenuHslToArgb(hsl.h, hsl.s, hsl.l, hsl.alpha);
        for (int shift : {0, 8, 16, 24})
            EXPECT_NEAR(static_cast<int>((back >> shift) & 0xFF), static_cast<int>((argb >> shift) & 0xFF), 6)
                << std::hex << argb << " -> " << back;
    }
}

TEST_F(ColourMenu, GetColorReadsTheEntrysSource) {
    // Without a game every entry is 0.
    EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Number(46)}).data.number, 0);
    EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Number(3)}).data.number, 0);

    TESNPC* npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Number(46)}).data.number, 0);  // no head data
    sim::Npc_SetHairColor(npc, sim::AddColorForm(0x12, 0x34, 0x56));
    sim::AddTint(false, 6, true, "skin.dds", 10, 20, 30, 1.0f);
    sim::AddTint(false, 7, true, "paint0.dds", 1, 2, 3, 0.0f);
    sim::AddTint(false, 7, true, "paint1.dds", 4, 5, 6, 0.5f);
    sim::AddTint(false, 7, true, "paint2.dds", 7, 8, 9, 1.0f);
    sim::AddTint(false, 1, true, "lips.dds", 200, 100, 50, 0.25f);

    struct Row {
        double id;
        uint32_t argb;
    };
    const Row rows[] = {
        {46, 0xFF123456},
        {46.9, 0xFF123456},  // identifiers are truncated
        {3, 0xFF0A141E},
        {10, 0x7F040506},  // the first visible war paint, not the hidden one before it
        {44, 0x3FC86432},
        {19, 0},  // no layer of type 2
        {99, 0},
        {-46, 0},
        {kNaN, 0},
        {kInf, 0},
        {1e300, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Number(r.id)}).data.number, r.argb) << r.id;
}

TEST_F(ColourMenu, GetColorWithoutVisibleWarPaintIsZero) {
    TESNPC* npc = sim::AddNpc(0);
    sim::CreatePlayer(&npc->form, nullptr);
    sim::AddTint(false, 7, true, "paint0.dds", 1, 2, 3, 0.0f);
    sim::AddTint(false, 7, true, "paint1.dds", 4, 5, 6, 0.003f);  // below one step of 255
    EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Number(10)}).data.number, 0);
}

TEST_F(ColourMenu, WrongArgumentsAreReportedAndLeaveTheResultAlone) {
    vtrtest::LogCapture log;
    GFxValue& result = menu.NewArray();
    EXPECT_EQ(menu.Call("GetColor", {MenuHarness::Bool(true)}).type & kGFxTypeMask, kGFxType_Undefined);
    EXPECT_EQ(menu.Call("HSL2ARGB", {MenuHarness::Number(0), MenuHarness::Number(0), MenuHarness::Number(0)}).type &
                  kGFxTypeMask,
              kGFxType_Undefined);
    menu.Call("ARGB2HSL", {menu.String("0xFF0000"), result});
    menu.Call("ARGB2HSL", {MenuHarness::Number(1)});
    EXPECT_TRUE(vtrtest::Elements(result).empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR: system: invalid arguments. Quorvix.GetColor(uniqueID:Number).",
                               "    ERROR: system: invalid arguments. Quorvix.HSL2ARGB(h:Number, s:Number, l:Number, "
                               "alpha:Number).",
                               "    ERROR: system: invalid arguments. Quorvix.ARGB2HSL(argb:Number, result:Array).",
                               "    ERROR: system: invalid arguments. Quorvix.ARGB2HSL(argb:Number, result:Array).",
                           }));
}

}  // namespace
