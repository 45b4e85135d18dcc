#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "os/os.h"
#include "base/log.h"
#include "tests/support/test_support.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.WriteFile("data\\skse\\plugins\\keep", "");
        Log_Reopen("data\\skse\\plugins\\Vultrane.log");
        PendingLog_Clear();
    }
    void TearDown() override {
        PendingLog_Clear();
        Log_Reopen("/nonexistent-folder/none.log");  // leave no handle into the removed folder
    }
    std::string FileText() const { return folder_.ReadFile("data/skse/plugins/Vultrane.log"); }
    vtrtest::ScopedGameFolder folder_;
};

TEST_F(LogFile, MessagesAreWrittenUnchangedWithOneLineBreakEach) {
    EXPECT_EQ(Log_FilePath(), "data\\skse\\plugins\\Vultrane.log");
    LogMessage("info: %s %d", "start", 3);
    LogMessage("two\n  lines");
    EXPECT_EQ(FileText(), "info: start 3\ntwo\n  lines\n");  // flushed at once, no prefix added
}

TEST_F(LogFile, MessageLongerThanTheFormatBufferIsWrittenWhole) {
    std::string big(20000, 'a');
    big[8190] = 'X';
    big[8191] = 'Y';
    big.back() = 'Z';
    LogMessage("%s", big.c_str());
    EXPECT_EQ(FileText(), big + "\n");
}

TEST_F(LogFile, HeldLogFallsBackToNumberedNames) {
    // Another process holding the log keeps writers out; the next name in line is used.
    Log_Reopen("/nonexistent-folder/none.log");
    FILE* other = os::OpenDenyWrite("data\\skse\\plugins\\Vultrane.log");
    ASSERT_NE(other, nullptr);
    Log_Reopen("data\\skse\\plugins\\Vultrane.log");
    EXPECT_EQ(Log_FilePath(), "data\\skse\\plugins\\Vultrane.log0");
    LogMessage("second");
    EXPECT_EQ(folder_.ReadFile("data/skse/plugins/Vultrane.log0"), "second\n");
    std::fclose(other);
}

TEST(LogOpen, NoWritableFolderLeavesTheLibraryWithoutALog) {
    vtrtest::ScopedGameFolder folder;  // no data\skse\plugins here
    Log_Reopen("data\\skse\\plugins\\Vultrane.log");
    EXPECT_EQ(Log_FilePath(), "");
    vtrtest::LogCapture capture;
    LogMessage("still fine");  // no crash; observers still see it
    EXPECT_TRUE(capture.Contains("still fine"));
}

TEST(LogPending, FlushWithCutsLongTextAndKeepsItUntilCleared) {
    vtrtest::LogCapture capture;
    PendingLog_Clear();
    PendingLog_FlushWith("only this");
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "only this");

    std::string errors;
    while (errors.size() < 8000) errors += "    ERROR: something failed here.\n";
    PendingLog_Append(errors);
    capture.Clear();
    PendingLog_FlushWith("tail");
    PendingLog_FlushWith("tail");
    ASSERT_EQ(capture.Lines().size(), 2u);
    std::string expected = errors.substr(0, 7500) + " (... too long.)\ntail";
    EXPECT_EQ(capture.Lines()[0], expected);
    EXPECT_EQ(capture.Lines()[1], expected);  // not cleared by flushing
    PendingLog_Clear();
    EXPECT_TRUE(PendingLog_Text().empty());
}

TEST(LogOnceFlags, EachMessageOnceAfterArming) {
    vtrtest::LogCapture capture;
    Log_ArmOnceFlags();
    for (int i = 0; i < 3; ++i) Log_Once(LogOnce().cacheCheckStart, "info: cache tri, check start.");
    EXPECT_EQ(capture.Count("info: cache tri, check start."), 1u);
    EXPECT_TRUE(LogOnce().cacheSuccess);
}

}  // namespace
