// The program's version is the project's one version (CMakeLists.txt's project(VERSION)).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/e2e/e2e_support.h"

namespace {

std::string ProjectVersion() {
    std::ifstream in(VTR_SOURCE_DIR "/CMakeLists.txt");
    std::stringstream s;
    s << in.rdbuf();
    std::smatch m;
    const std::string text = s.str();
    if (!std::regex_search(text, m, std::regex(R"(project\(Vultrane VERSION ([0-9]+\.[0-9]+\.[0-9]+))"))) return {};
    return m[1];
}

TEST(VultraneVersion, PrintsTheProjectVersion) {
    const std::string version = ProjectVersion();
    ASSERT_FALSE(version.empty()) << "no project(Vultrane VERSION x.y.z) in CMakeLists.txt";
    const e2e::ProcessResult r = e2e::RunProcess({VTR_VULTRANE_PATH, "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "vultrane " + version + "\n");
    EXPECT_EQ(r.err, "");
}

TEST(VultraneVersion, HelpNamesTheVersionOption) {
    const e2e::ProcessResult r = e2e::RunProcess({VTR_VULTRANE_PATH, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
}

}  // namespace
