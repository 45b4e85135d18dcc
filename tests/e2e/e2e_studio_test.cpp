// `vultrane studio` as users start it: bad arguments end with a message and status 2; a good
// start (on the first race defined when none is given) prints the page's loopback address first
// and stops cleanly on an interrupt.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

e2e::ProcessResult RunIn(const std::string& folder, const std::string& arguments) {
    return e2e::RunProcess({"/bin/sh", "-c", "cd '" + folder + "' && exec " + arguments});
}

TEST(E2eStudio, BadArgumentsExitTwoWithAMessage) {
    e2e::TempDir dir;
    const char* cases[] = {
        "studio",
        "studio /nonexistent --race Nord",
        "studio '" VTR_SOURCE_DIR "' --race Nord",  // no configuration there
        "studio '" VTR_PRISTINE_GAME_DIR "' --race Nord --sex other",
        "studio '" VTR_PRISTINE_GAME_DIR "' --race Nord --port 70000",
        "studio '" VTR_PRISTINE_GAME_DIR "' --race Nord --port -1",
        "studio '" VTR_PRISTINE_GAME_DIR "' --world /nonexistent.json",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        const e2e::ProcessResult r = RunIn(dir.Path(), std::string("'" VTR_VULTRANE_PATH "' ") + args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("vultrane"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(RunIn(dir.Path(), "'" VTR_VULTRANE_PATH "' studio --help").exitCode, 0);
}

TEST(E2eStudio, PrintsItsLoopbackAddressAndStopsOnInterrupt) {
    e2e::TempDir dir;
    // timeout sends SIGINT, as Ctrl+C does; --preserve-status passes the program's own status on.
    const e2e::ProcessResult r = RunIn(
        dir.Path(), "timeout --preserve-status -s INT 4 '" VTR_VULTRANE_PATH "' studio '" VTR_PRISTINE_GAME_DIR "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.out.rfind("http://127.0.0.1:", 0), 0u) << r.out;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_NE(first.find("/?token="), std::string::npos) << first;
    EXPECT_GE(first.size(), std::string("http://127.0.0.1:1/?token=").size() + 32);
    EXPECT_NE(r.out.find("\nstopped\n"), std::string::npos) << r.out;
    // Without --race it starts on the first race the folder defines.
    EXPECT_NE(r.out.find("for race Nord;"), std::string::npos) << r.out;
}

}  // namespace
