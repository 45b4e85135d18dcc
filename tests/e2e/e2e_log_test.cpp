// The log as the menu and a second game process see it: the Log and LastLog functions, the
// file beside the game, and the fallback name when the file is held by another process.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/e2e_support.h"

namespace {

using e2e::CallMenu;
using e2e::Plugin;

size_t CountLine(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(E2ELog, LogWritesTextsUnchangedAndNumbersAsFloats) {
    struct Case {
        const char* what;
        GFxValue arg;
        std::vector<std::string> expected;
    };
    const char* percent = "50% of %s and %d %% %n done";
    std::vector<Case> cases = {
        {"percent signs are not a format", e2e::MakeString(percent), {percent}},
        {"0.1 narrowed to 32 bits", sim::MakeNumber(0.1), {"0.100000"}},
        {"1.25", sim::MakeNumber(1.25), {"1.250000"}},
        {"a text with a line break is one message", e2e::MakeString("first\nsecond"), {"first", "second"}},
        {"a Boolean writes nothing", sim::MakeBool(true), {}},
        {"an Array writes nothing", e2e::MakeArray(), {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::CallResult r = CallMenu("Log", {c.arg});
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.log, c.expected);
        EXPECT_EQ(r.result.type, kGFxType_Undefined);
    }
    EXPECT_TRUE(CallMenu("Log", {}).log.empty());
    EXPECT_TRUE(CallMenu("LastLog", {}).log.empty());
}

TEST(E2ELog, LastLogWithNothingPendingWritesJustTheText) {
    e2e::CallResult r = CallMenu("LastLog", {e2e::MakeString("menu closed 100%")});
    EXPECT_EQ(r.log, (std::vector<std::string>{"menu closed 100%"}));
    r = CallMenu("LastLog", {sim::MakeNumber(0.1)});
    EXPECT_EQ(r.log, (std::vector<std::string>{"0.100000"}));
}

TEST(E2ELog, LongTextIsWrittenWholeToTheFile) {
    static int run = 0;  // unique per run, so that a repeated test finds its own line
    std::string text = "long-log-text " + std::to_string(++run) + ":";
    while (text.size() < 20000) text += "0123456789abcdef%s";
    text.resize(20000);
    e2e::CallResult r = CallMenu("Log", {e2e::MakeString(text.c_str())});
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_EQ(r.log[0].size(), 20000u);
    EXPECT_EQ(r.log[0], text);

    std::vector<std::string> file = e2e::SplitLines(e2e::ReadFile(Plugin::Get().LogPath()));
    EXPECT_EQ(CountLine(file, text), 1u) << "the file holds the text as one whole line";
}

TEST(E2ELog, FileStartsWithTheBannerAndHoldsMenuMessages) {
    Plugin& p = Plugin::Get();
    const std::string marker = "e2e marker line";
    CallMenu("Log", {e2e::MakeString(marker.c_str())});
    std::vector<std::string> file = e2e::SplitLines(e2e::ReadFile(p.LogPath()));
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(file[0], "skse_Quorvix_plugin");
    EXPECT_EQ(file[1], "load");
    EXPECT_EQ(file.back(), marker) << "every message is flushed at once";
}

TEST(E2ELog, SecondProcessWritesToTheFallbackName) {
    Plugin& p = Plugin::Get();  // this process holds data\skse\plugins\Vultrane.log
    e2e::TempDir inputs;
    std::string calls = inputs.Write("calls.json", R"([{"function": "Log", "args": ["from the second process"]}])");
    e2e::ProcessResult r =
        e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--game-folder", p.GameFolder(), "--calls", calls});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<std::string> second = e2e::SplitLines(e2e::ReadFile(p.LogPath() + "0"));
    ASSERT_FALSE(second.empty()) << "Vultrane.log0 was not written";
    EXPECT_EQ(second.front(), "skse_Quorvix_plugin");
    EXPECT_EQ(CountLine(second, "from the second process"), 1u);
    std::vector<std::string> first = e2e::SplitLines(e2e::ReadFile(p.LogPath()));
    EXPECT_EQ(CountLine(first, "from the second process"), 0u) << "the held file must not be written by another process";
}

}  // namespace
