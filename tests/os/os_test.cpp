#include <gtest/gtest.h>

#include <algorithm>

#include "os/os.h"
#include "tests/support/test_support.h"

namespace {

TEST(OsPosix, WindowsPathsResolveWithoutRegardToCase) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("Data/Meshes/Vultrane/Sets/Nord.ini", "x");
    EXPECT_EQ(os::ResolvePath("data\\meshes\\vultrane\\sets\\nord.ini"), "Data/Meshes/Vultrane/Sets/Nord.ini");
    FILE* f = os::OpenRead("DATA\\MESHES\\Vultrane\\SETS\\NORD.INI");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    // Missing components stay as written, so new files are created where asked.
    EXPECT_EQ(os::ResolvePath("data\\meshes\\new\\file.tri"), "Data/Meshes/new/file.tri");
    EXPECT_EQ(os::OpenRead("data\\meshes\\vultrane\\sets"), nullptr);  // a folder is not a file
}

TEST(OsPosix, ListingMarksHiddenEntriesAndFolders) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("cfg/a.ini", "");
    folder.WriteFile("cfg/B.INI", "");
    folder.WriteFile("cfg/.hidden.ini", "");
    folder.WriteFile("cfg/dir.ini/inside.txt", "");
    folder.WriteFile("cfg/other.txt", "");
    std::vector<os::DirEntry> entries;
    ASSERT_TRUE(os::ListDirectory("cfg\\*.ini", entries));
    std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.name < y.name; });
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, ".hidden.ini");
    EXPECT_TRUE(entries[0].isHidden);
    EXPECT_EQ(entries[1].name, "B.INI");
    EXPECT_EQ(entries[3].name, "dir.ini");
    EXPECT_TRUE(entries[3].isDirectory);
    EXPECT_FALSE(entries[2].isHidden || entries[2].isDirectory);
    std::vector<os::DirEntry> none;
    EXPECT_FALSE(os::ListDirectory("missing\\*.ini", none));
}

TEST(OsPosix, DenyWriteOpenKeepsASecondWriterOut) {
    vtrtest::ScopedGameFolder folder;
    FILE* first = os::OpenDenyWrite("log.txt");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(os::OpenDenyWrite("log.txt"), nullptr);
    std::fclose(first);
    FILE* again = os::OpenDenyWrite("LOG.TXT");  // same file, any case, free again
    ASSERT_NE(again, nullptr);
    std::fclose(again);
    EXPECT_TRUE(os::CreateFolder("newdir"));
    EXPECT_TRUE(os::CreateFolder("NEWDIR"));
}

}  // namespace
