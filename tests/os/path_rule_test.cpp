// The one confinement rule for configured paths, and the temporary files of ReplacingFile.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "os/os.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(OsConfinePath, WindowsRulesThenBelowTheBase) {
    // Kept: resolved lexically, separators of both kinds, letter case as written.
    const struct {
        const char* folder;
        const char* path;
        const char* resolved;
    } kept[] = {
        {"", "data\\meshes\\Head.tri", "data\\meshes\\Head.tri"},
        {"", "data/meshes//./x.tri", "data\\meshes\\x.tri"},
        {"", "data\\..\\x.tri", "x.tri"},
        {"", "data\\meshes\\a..b\\x.tri", "data\\meshes\\a..b\\x.tri"},
        {"Meshes\\Vultrane\\Sets\\", "..\\Other\\x.tri", "Meshes\\Vultrane\\Other\\x.tri"},
        {"Meshes\\Vultrane\\Sets\\", "..\\..\\..\\Textures\\x.tri", "Textures\\x.tri"},
        {"", "console.txt", "console.txt"},  // only exact device names are devices
        {"", "com10.tri", "com10.tri"},
        {"", "nullify\\aux1.txt", "nullify\\aux1.txt"},
    };
    for (const auto& k : kept) {
        SCOPED_TRACE(std::string(k.folder) + k.path);
        const os::ConfinedPath c = os::ConfinePath(k.folder, k.path, "data folder");
        EXPECT_TRUE(c.ok) << c.reason;
        EXPECT_EQ(c.path, k.resolved);
        EXPECT_TRUE(c.reason.empty());
    }
    // Refused, each with its reason.
    const struct {
        const char* folder;
        const char* path;
        const char* reason;
    } refused[] = {
        {"", "..\\outside\\evil.tri", "leads out of the game folder"},
        {"", "data\\..\\..\\x.tri", "leads out of the game folder"},
        {"Meshes\\Vultrane\\", "..\\..\\..\\outside\\secret.txt", "leads out of the game folder"},
        {"", "\\outside\\evil.tri", "is absolute"},
        {"", "/etc/passwd", "is absolute"},
        {"", "\\\\server\\share\\x.tri", "is a network (UNC) or device path"},
        {"", "//?/C:/x.tri", "is a network (UNC) or device path"},
        {"", "C:\\x.tri", "names a drive"},
        {"", "c:x.tri", "names a drive"},
        {"", "data\\x.tri:stream", "holds a ':' (a drive or a stream name)"},
        {"", "data\\con", "names a device (con)"},
        {"", "data\\NUL.tri", "names a device (NUL.tri)"},
        {"", "Aux .txt", "names a device (Aux .txt)"},
        {"", "data\\com1.ini", "names a device (com1.ini)"},
        {"", "LPT9", "names a device (LPT9)"},
        {"", "data\\x.tri.", "has a name ending in a dot or a blank"},
        {"", "data\\...\\x.tri", "has a name ending in a dot or a blank"},
        {"", "data\\x \\y.tri", "has a name ending in a dot or a blank"},
        {"", "data\\a\nb.tri", "holds a control character"},
        {"", "data\\*.tri", "holds a character that Windows refuses in paths"},
        {"", "", "names the game folder itself, not a file in it"},
        {"", "data\\..", "names the game folder itself, not a file in it"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(std::string(r.folder) + "|" + r.path);
        const os::ConfinedPath c = os::ConfinePath(r.folder, r.path, "game folder");
        EXPECT_FALSE(c.ok);
        EXPECT_EQ(c.reason, r.reason);
        EXPECT_TRUE(c.path.empty());
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OsReplacingFile, TheTemporaryIsNeverALinkAndAStaleOneGoes) {
    vtrtest::ScopedGameFolder folder;
    folder.WriteFile("victim.txt", "keep me");
    folder.WriteFile("out/keep", "");
    // A link at the temporary name is removed, not followed: the file it points to stays.
    ASSERT_EQ(symlink((folder.Path() + "/victim.txt").c_str(), "out/face.tri.vtrnew"), 0);
    {
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open("out\\face.tri", false)) << f.Describe();
        EXPECT_TRUE(f.WriteText("new bytes"));
        EXPECT_TRUE(f.Commit()) << f.Describe();
    }
    EXPECT_EQ(ReadAll("victim.txt"), "keep me");
    EXPECT_EQ(ReadAll("out/face.tri"), "new bytes");
    struct stat st {};
    EXPECT_EQ(lstat("out/face.tri", &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    // A dangling link and a stale file from an interrupted write are replaced as well.
    ASSERT_EQ(symlink("/nonexistent/elsewhere", "out/other.tri.vtrnew"), 0);
    folder.WriteFile("out/third.tri.vtrnew", "stale half");
    for (const char* name : {"out\\other.tri", "out\\third.tri"}) {
        os::ReplacingFile f;
        ASSERT_TRUE(f.Open(name, false)) << name << ": " << f.Describe();
        EXPECT_TRUE(f.WriteText("ok"));
        EXPECT_TRUE(f.Commit());
    }
    EXPECT_EQ(ReadAll("out/other.tri"), "ok");
    EXPECT_EQ(ReadAll("out/third.tri"), "ok");
    EXPECT_FALSE(fs::exists("/nonexistent/elsewhere"));
    // A folder at the temporary name is not taken away.
    fs::create_directories("out/dir.tri.vtrnew/inside");
    os::ReplacingFile d;
    EXPECT_FALSE(d.Open("out\\dir.tri", false));
    EXPECT_TRUE(fs::exists("out/dir.tri.vtrnew/inside"));
}

TEST(OsReplacingFile, FailuresNameTheSystemsReason) {
    vtrtest::ScopedGameFolder folder;
    os::ReplacingFile missing;
    EXPECT_FALSE(missing.Open("Missing\\face.tri", false));
    EXPECT_EQ(missing.Error(), "cannot open the file");
    EXPECT_EQ(missing.Describe(), "cannot open the file (No such file or directory)");

    // A write the system refuses (a file size limit stands for a full disk): the error names it.
    folder.WriteFile("out/face.tri", "old");
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    os::ReplacingFile big;
    bool ok = big.Open("out\\face.tri", false);
    const std::string chunk(4096, 'x');
    ok = ok && big.Write(chunk.data(), chunk.size());
    ok = big.Commit() && ok;
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_EQ(big.Error(), "write failed");
    EXPECT_EQ(big.Reason(), "File too large");
    EXPECT_EQ(ReadAll("out/face.tri"), "old");
    EXPECT_FALSE(fs::exists("out/face.tri.vtrnew"));

    // Injected failures (tests of a full disk) have no system reason.
    os::InjectWriteFailureAfter(0);
    os::ReplacingFile injected;
    ASSERT_TRUE(injected.Open("out\\face.tri", false));
    EXPECT_FALSE(injected.WriteText("abc"));
    os::InjectWriteFailureAfter(SIZE_MAX);
    EXPECT_EQ(injected.Describe(), "write failed");
}

}  // namespace
