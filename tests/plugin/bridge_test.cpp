#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plugin/bridge.h"
#include "base/log.h"
#include "base/numeric.h"
#include "plugin/registration.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

TEST(BridgeNumeric, ConversionsAreDefinedForEveryDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Row { double in; int32_t i32; uint32_t colour; };
    const Row rows[] = {
        {1.9, 1, 1},
        {-1.9, -1, 0xFFFFFFFFu},
        {std::nan(""), 0, 0},
        {inf, INT32_MAX, 0xFFFFFFFFu},
        {-inf, INT32_MIN, 0},
        {1e300, INT32_MAX, 0xFFFFFFFFu},
        {4294967295.0, INT32_MAX, 0xFFFFFFFFu},
        {2147483648.0, INT32_MAX, 0x80000000u},
        {-2147483649.0, INT32_MIN, 0x7FFFFFFFu},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TruncToInt32(r.in), r.i32) << r.in;
        EXPECT_EQ(ColourFromNumber(r.in), r.colour) << r.in;
    }
    EXPECT_TRUE(std::isinf(NarrowToFloat(1e300)));
    EXPECT_EQ(NarrowToFloat(0.1), 0.1f);
}

TEST(BridgeValues, ReadingAndWritingKeepTheRuntimeCountsRight) {
    GFxMovieView* movie = sim::CreateMovie();
    size_t before = sim::LiveManagedValues();
    GFxValue v{};
    Value_CreateString(movie, &v, "text");
    EXPECT_STREQ(Value_GetString(v), "text");
    EXPECT_EQ(sim::LiveManagedValues(), before + 1);
    Value_SetNumber(v, 2.5);  // releases the string first
    EXPECT_EQ(sim::LiveManagedValues(), before);
    EXPECT_EQ(Value_GetNumber(v), 2.5);
    EXPECT_TRUE(Value_GetBool(v));
    Value_SetNumber(v, std::nan(""));
    EXPECT_TRUE(Value_GetBool(v));  // NaN is not equal to 0
    Value_SetBool(v, true);
    EXPECT_EQ(Value_GetNumber(v), 1.0);
    EXPECT_EQ(Value_GetString(v), nullptr);

    // A record appended to an array that already holds two elements comes after them, and
    // releasing the array frees everything.
    GFxValue array{};
    Value_CreateArray(movie, &array);
    LocalValue first, second;
    Value_SetNumber(first.value, 1);
    Value_CreateString(movie, &second.value, "two");
    Value_PushBack(array, first.value);
    Value_PushBack(array, second.value);
    ResultRecord(movie).String("text", "name").Number("index", 3).Bool("flag", false).AppendTo(array);
    auto elements = vtrtest::Elements(array);
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[0]->data.number, 1);
    EXPECT_STREQ(sim::StringText(*elements[1]), "two");
    EXPECT_EQ(vtrtest::MemberNames(*elements[2]), (std::vector<std::string>{"text", "index", "flag"}));
    EXPECT_EQ(vtrtest::Str(*elements[2], "text"), "name");
    EXPECT_EQ(Value_GetArraySize(array), 3u);
    GFxValue out{};
    ASSERT_TRUE(Value_GetElement(array, 1, &out));
    EXPECT_STREQ(Value_GetString(out), "two");
    Value_Release(out);
    Value_Release(second.value);
    Value_Release(array);
    EXPECT_EQ(sim::LiveManagedValues(), before);
}

TEST(BridgeValues, WrongTypeReadIsAnInternalErrorThatStopsTheProcess) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("data\\skse\\plugins\\keep", "");
    EXPECT_DEATH(
        {
            Log_Reopen("data\\skse\\plugins\\Vultrane.log");
            GFxValue s{};
            s.type = kGFxType_String;
            s.data.string = "x";
            Value_GetNumber(s);
        },
        "");
    EXPECT_EQ(folder.ReadFile("data/skse/plugins/Vultrane.log"),
              "Assertion failed in ScaleformCallbacks (104): GFxValue::GetNumber: bad type\n");
    EXPECT_DEATH(
        {
            Log_Reopen("data\\skse\\plugins\\Vultrane.log");
            GFxValue u{};
            Value_GetBool(u);
        },
        "");
    EXPECT_EQ(folder.ReadFile("data/skse/plugins/Vultrane.log"),
              "Assertion failed in ScaleformCallbacks (72): GFxValue::GetBool: bad type\n");
}

TEST(BridgeArguments, CheckAcceptsExtraArgumentsAndRejectsNearMisses) {
    MenuHarness menu;
    vtrtest::LogCapture capture;
    const std::string message = "    ERROR: system: invalid arguments. Quorvix.GetNthName(index:Number, result:Array).";
    // A Boolean where a Number is expected fails although it could be read as one.
    menu.Call("GetNthName", {MenuHarness::Bool(true), menu.NewArray()});
    // Too few arguments.
    menu.Call("GetNthName", {MenuHarness::Number(1)});
    EXPECT_EQ(capture.Count(message), 2u);
    capture.Clear();
    // Extra arguments are ignored.
    const GFxValue& r = menu.Call("ValidCheck", {MenuHarness::Number(1), menu.String("extra")});
    EXPECT_EQ(r.data.number, 46);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(BridgeRegistration, MoviesShareOneHandlerPerFunction) {
    size_t heapBefore = sim::LiveHeapAllocations();
    MenuHarness first;
    size_t created = sim::LiveHeapAllocations() - heapBefore;
    MenuHarness second;
    EXPECT_EQ(FunctionHandlerCount(), 26u);
    EXPECT_EQ(sim::LiveHeapAllocations() - heapBefore, created);  // no new handlers
    auto a = sim::ObjectMembers(first.Root());
    auto b = sim::ObjectMembers(second.Root());
    ASSERT_EQ(a.size(), 26u);
    ASSERT_EQ(b.size(), 26u);
    const char* order[] = {"SetMergedMorphs", "GetList", "GetSlotData", "Log", "LastLog", "Test",
                           "SetMergedMorphsMemory", "UpdateModel", "GetPlayerPreset", "SetPlayerPreset",
                           "GetNthName", "ValidCheck", "GetColor", "ARGB2HSL", "HSL2ARGB",
                           "GetPlayerRaceName", "ResetAllMorphs", "SetCameraFov", "GetCameraFov",
                           "GetTintsList", "SetNthTintPath", "SetNthTintColor", "GetPlayerAngles",
                           "GetVertexInArea", "SetCameraPos", "GetHairName"};
    for (size_t i = 0; i < 26; ++i) {
        EXPECT_EQ(a[i].first, order[i]);
        EXPECT_EQ(sim::FunctionHandler(*a[i].second), sim::FunctionHandler(*b[i].second));
        GFxFunctionHandler* h = sim::FunctionHandler(*a[i].second);
        ASSERT_NE(h, nullptr);
        EXPECT_GE(h->refCount, 3);  // the cache's reference plus one per installed function
    }
}

TEST(LogMenuFunctions, LogAndLastLogWriteWhatTheMenuPasses) {
    MenuHarness menu;
    vtrtest::LogCapture capture;
    PendingLog_Clear();
    menu.Call("Log", {menu.String("100% sure %s %d")});
    menu.Call("Log", {MenuHarness::Number(1.25)});
    menu.Call("Log", {MenuHarness::Number(0.1)});
    menu.Call("Log", {MenuHarness::Bool(true)});  // other types write nothing
    menu.Call("Log", {});
    menu.Call("LastLog", {menu.String("last")});
    menu.Call("LastLog", {MenuHarness::Number(2)});
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"100% sure %s %d", "1.250000", "0.100000", "last", "2.000000"}));
}

}  // namespace
