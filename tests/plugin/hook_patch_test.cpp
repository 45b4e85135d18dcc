// The library patches the game only where it finds what it expects, and survives a game heap
// that gives no memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "game/engine.h"
#include "game/sim/sim.h"
#include "plugin/hook.h"
#include "plugin/registration.h"
#include "tests/support/test_support.h"

namespace {

std::array<uint8_t, 5> SiteBytes() {
    std::array<uint8_t, 5> out{};
    std::memcpy(out.data(), HookedCallSite(), 5);
    return out;
}

class CallSitePatch : public ::testing::Test {
protected:
    void TearDown() override { sim::RestoreCallSite(); }
    vtrtest::LogCapture log;
};

TEST_F(CallSitePatch, TheExpectedCallIsRedirectedOnceAndAnythingElseIsLeftAlone) {
    sim::RestoreCallSite();
    const std::array<uint8_t, 5> original = SiteBytes();
    ASSERT_EQ(original[0], 0xE8);

    ASSERT_TRUE(PatchHookedCall());
    EXPECT_TRUE(log.Lines().empty());
    const std::array<uint8_t, 5> patched = SiteBytes();
    EXPECT_EQ(patched[0], 0xE8);
    EXPECT_NE(patched, original);
    EXPECT_NE(sim::CallSiteTarget(), nullptr) << "the call leads to the hook entry now";
    const int before = sim::FormerRoutineCalls();
    EXPECT_FALSE(sim::RunHookedRoutine("short"));
    EXPECT_EQ(sim::FormerRoutineCalls(), before + 1) << "a short text goes on to the former routine";

    // A second load finds its own patch: nothing changes and nothing is reported.
    EXPECT_TRUE(PatchHookedCall());
    EXPECT_EQ(SiteBytes(), patched);
    EXPECT_TRUE(log.Lines().empty());

    // Another build's or another mod's bytes: a jump, and a call with another displacement.
    for (const std::array<uint8_t, 5>& foreign :
         {std::array<uint8_t, 5>{0xE9, 0x10, 0x20, 0x30, 0x40}, std::array<uint8_t, 5>{0xE8, 0x36, 0x5F, 0x20, 0x00}}) {
        sim::SetCallSiteBytes(foreign);
        log.Clear();
        EXPECT_FALSE(PatchHookedCall());
        EXPECT_EQ(SiteBytes(), foreign) << "the bytes stay as they were";
        ASSERT_EQ(log.Lines().size(), 1u);
        char hex[32];
        std::snprintf(hex, sizeof hex, "%02X %02X %02X %02X %02X", foreign[0], foreign[1], foreign[2], foreign[3],
                      foreign[4]);
        EXPECT_NE(log.Lines()[0].find(std::string(" holds ") + hex + ", not the expected call"), std::string::npos)
            << log.Lines()[0];
        EXPECT_EQ(log.Lines()[0].rfind("    ERROR: system: the call site at ", 0), 0u);
    }
}

TEST(Registration, AHeapWithoutMemoryLeavesThatFunctionOutAndALaterMovieGetsIt) {
    ForgetFunctionHandlers();
    const size_t liveBefore = sim::LiveHeapAllocations();
    vtrtest::LogCapture log;
    sim::FailHeapAllocations(1);  // the first handler, SetMergedMorphs's
    {
        vtrtest::MenuHarness first;
        EXPECT_EQ(log.Count("    ERROR: system: the Scaleform heap gave no memory for Quorvix.SetMergedMorphs; it is not installed."), 1u);
        const std::vector<std::string> members = vtrtest::MemberNames(first.Root());
        EXPECT_EQ(members.size(), 25u);
        EXPECT_EQ(std::count(members.begin(), members.end(), "SetMergedMorphs"), 0);
        EXPECT_EQ(FunctionHandlerCount(), 25u);
    }
    {
        vtrtest::MenuHarness second;
        const std::vector<std::string> members = vtrtest::MemberNames(second.Root());
        EXPECT_EQ(members.size(), 26u);
        EXPECT_EQ(FunctionHandlerCount(), 26u);
        EXPECT_EQ(second.Call("ValidCheck", {}).data.number, 46);
    }
    EXPECT_EQ(log.Count("    ERROR: system: the Scaleform heap gave no memory for Quorvix.SetMergedMorphs; it is not installed."), 1u);
    ForgetFunctionHandlers();
    EXPECT_EQ(sim::LiveHeapAllocations(), liveBefore) << "every handler came from the game's heap and went back";
}

}  // namespace
