// Temporary folders of the vultrane program: new, empty and distinct on every call.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tools/vultrane/cli_common.h"

namespace {

namespace fs = std::filesystem;

TEST(VultraneTempFolder, EveryCallMakesANewEmptyFolder) {
    std::set<std::string> made;
    for (int i = 0; i < 20; ++i) {
        const std::string dir = vultrane::MakeTempFolder("vultrane-test-");
        EXPECT_TRUE(fs::is_directory(dir)) << dir;
        EXPECT_TRUE(fs::is_empty(dir)) << dir;
        EXPECT_EQ(fs::path(dir).filename().string().rfind("vultrane-test-", 0), 0u) << dir;
        EXPECT_EQ(fs::path(dir).parent_path(), fs::temp_directory_path());
        EXPECT_TRUE(made.insert(dir).second) << "made twice: " << dir;
    }
    for (const std::string& dir : made) fs::remove_all(dir);
}

TEST(VultraneTempFolder, AnUnusableTemporaryFolderIsAnError) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", "/nonexistent/vultrane/tmp", 1);
    EXPECT_THROW(vultrane::MakeTempFolder("vultrane-test-"), std::runtime_error);
    if (old) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
}

}  // namespace
