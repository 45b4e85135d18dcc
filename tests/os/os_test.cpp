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

namespace {

std::string ReadAll(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

bool Exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

TEST(OsReplacingFile, ANewFileReplacesTheOldOnlyWhenWhollyWritten) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("Out/face.tri", "old bytes");
    {
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open("out\\FACE.tri", false));  // resolved as Windows would
        EXPECT_TRUE(f.WriteText("0123456789"));
        EXPECT_EQ(ReadAll("Out/face.tri"), "old bytes");  // untouched until committed
        EXPECT_TRUE(f.WriteAt(2, "AB", 2));
        EXPECT_TRUE(f.WriteText("!"));
        EXPECT_FALSE(f.WriteAt(10, "XY", 2));  // past the written end
        EXPECT_FALSE(f.Commit());              // one failed write spoils the whole file
        EXPECT_EQ(ReadAll("Out/face.tri"), "old bytes");
    }
    {
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open("out\\FACE.tri", false));
        EXPECT_TRUE(f.WriteText("0123456789"));
        EXPECT_TRUE(f.WriteAt(2, "AB", 2));
        EXPECT_TRUE(f.WriteText("!"));
        EXPECT_TRUE(f.Commit());
    }
    EXPECT_EQ(ReadAll("Out/face.tri"), "01AB456789!");
    EXPECT_FALSE(Exists("Out/face.tri.vtrnew"));

    // A disk that fills part-way: the old file stays byte for byte, no partial file is left.
    for (size_t cut : {0u, 3u, 9u}) {
        os::InjectWriteFailureAfter(cut);
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open("out\\face.tri", false));
        bool ok = f.WriteText("abcde") && f.WriteText("fghij");
        os::InjectWriteFailureAfter(SIZE_MAX);
        EXPECT_FALSE(ok) << cut;
        EXPECT_FALSE(f.Commit()) << cut;
        EXPECT_EQ(f.Error(), "write failed");
        EXPECT_EQ(ReadAll("Out/face.tri"), "01AB456789!") << cut;
        EXPECT_FALSE(Exists("Out/face.tri.vtrnew")) << cut;
    }

    // An abandoned file changes nothing.
    {
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open("out\\face.tri", false));
        f.WriteText("half");
    }
    EXPECT_EQ(ReadAll("Out/face.tri"), "01AB456789!");
    EXPECT_FALSE(Exists("Out/face.tri.vtrnew"));
}

TEST(OsReplacingFile, AFolderWhereTheFileShouldBeOrAMissingFolderFails) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("Out/face.tri/inside", "x");
    os::ReplacingFile f;
    ASSERT_TRUE(f.Open("Out\\face.tri", false));
    EXPECT_TRUE(f.WriteText("bytes"));
    EXPECT_FALSE(f.Commit());
    EXPECT_EQ(f.Error(), "cannot replace the old file");
    EXPECT_EQ(ReadAll("Out/face.tri/inside"), "x");
    EXPECT_FALSE(Exists("Out/face.tri.vtrnew"));

    os::ReplacingFile g;
    EXPECT_FALSE(g.Open("Missing\\face.tri", false));
    EXPECT_FALSE(g.Write("x", 1));
    EXPECT_FALSE(g.Commit());
}

TEST(OsReplacingFile, ASecondWriterOfTheSameFileIsDenied) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("Out/keep", "");
    os::ReplacingFile first;
    ASSERT_TRUE(first.Open("Out\\slot.slot", true));
    os::ReplacingFile second;
    EXPECT_FALSE(second.Open("Out\\slot.slot", true));
    EXPECT_TRUE(first.WriteText("a\n"));
    EXPECT_TRUE(first.Commit());
    EXPECT_EQ(ReadAll("Out/slot.slot"), "a\n");
}

TEST(OsPosix, DocumentsFolderFollowsXdgThenHome) {
    const char* old = std::getenv("XDG_DOCUMENTS_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_DOCUMENTS_DIR", "/tmp/docs-here/", 1);
    EXPECT_EQ(os::DocumentsFolder(), "/tmp/docs-here");
    unsetenv("XDG_DOCUMENTS_DIR");
    if (const char* home = std::getenv("HOME")) EXPECT_EQ(os::DocumentsFolder(), std::string(home) + "/Documents");
    if (old) setenv("XDG_DOCUMENTS_DIR", saved.c_str(), 1);
}

}  // namespace
