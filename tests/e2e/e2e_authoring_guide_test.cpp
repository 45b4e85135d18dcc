// The author's guide (docs/authoring.md) cannot drift from the program: every fenced block in
// it is an example that is checked here.
//   ```ini example=PATH / ```text example=PATH   lines of a file of the repository, in order
//                                                 ("..." stands for lines left out)
//   ```console                                    "$ command" lines, each followed by exactly
//                                                 what it prints ("(exit status N)" when not 0)
//   ```mistake FILE                               "- old" / "+ new" lines changed in FILE (below
//                                                 Data/Meshes/Vultrane; only "+" lines: a new
//                                                 file), then "$ vultrane check Data" and its output
//   ```syntax                                     the shape of a line, not an example
// Commands run with `vultrane` on the PATH in a folder holding Data, a copy of the example
// game's Data folder with its generated .tri files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;

struct Block {
    std::string info;
    std::vector<std::string> lines;
    int line = 0;  // of the opening fence, 1-based
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

std::vector<Block> FencedBlocks(const std::string& markdown) {
    std::vector<Block> blocks;
    const std::vector<std::string> lines = Lines(markdown);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("```", 0) != 0) continue;
        Block b;
        b.info = lines[i].substr(3);
        b.line = static_cast<int>(i) + 1;
        for (++i; i < lines.size() && lines[i] != "```"; ++i) b.lines.push_back(lines[i]);
        EXPECT_LT(i, lines.size()) << "block at line " << b.line << " is not closed";
        blocks.push_back(std::move(b));
    }
    return blocks;
}

// `expected` matches `actual` line for line; a "..." line stands for any number of lines.
bool Matches(const std::vector<std::string>& expected, size_t e, const std::vector<std::string>& actual, size_t a) {
    if (e == expected.size()) return a == actual.size();
    if (expected[e] == "...") {
        for (size_t skip = a; skip <= actual.size(); ++skip)
            if (Matches(expected, e + 1, actual, skip)) return true;
        return false;
    }
    return a < actual.size() && actual[a] == expected[e] && Matches(expected, e + 1, actual, a + 1);
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
}

class AuthoringGuide : public ::testing::Test {
protected:
    void SetUp() override {
        guide_ = FencedBlocks(e2e::ReadFile(VTR_SOURCE_DIR "/docs/authoring.md"));
        ASSERT_FALSE(guide_.empty());
        fs::create_directories(work_.Path() + "/Data/Meshes");
        fs::copy(VTR_PRISTINE_GAME_DIR "/data/Meshes/Vultrane", work_.Path() + "/Data/Meshes/Vultrane",
                 fs::copy_options::recursive);
        // The copy keeps the pristine folder's read-only modes; the mistakes are applied to it.
        for (const auto& e : fs::recursive_directory_iterator(work_.Path() + "/Data"))
            fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
        fs::create_directories(work_.Path() + "/bin");
        fs::create_symlink(VTR_VULTRANE_PATH, work_.Path() + "/bin/vultrane");
    }

    std::vector<const Block*> OfKind(const std::string& kind) const {
        std::vector<const Block*> out;
        for (const Block& b : guide_)
            if (b.info == kind || b.info.rfind(kind + " ", 0) == 0) out.push_back(&b);
        return out;
    }

    // What a terminal shows for the command, run where the guide's reader runs it.
    std::vector<std::string> Run(const std::string& command) const {
        const e2e::ProcessResult r = e2e::RunProcess(
            {"/bin/sh", "-c",
             "cd '" + work_.Path() + "' && PATH='" + work_.Path() + "/bin':\"$PATH\" LC_ALL=C && export PATH LC_ALL && " +
                 command + " 2>&1"});
        std::vector<std::string> out = Lines(r.out);
        if (r.exitCode != 0) out.push_back("(exit status " + std::to_string(r.exitCode) + ")");
        return out;
    }

    // "$ command" lines, each with the output that follows it.
    void RunConsole(const Block& b) const {
        for (size_t i = 0; i < b.lines.size();) {
            ASSERT_EQ(b.lines[i].rfind("$ ", 0), 0u) << "line " << i + 1 << " is no command";
            const std::string command = b.lines[i].substr(2);
            std::vector<std::string> expected;
            for (++i; i < b.lines.size() && b.lines[i].rfind("$ ", 0) != 0; ++i) expected.push_back(b.lines[i]);
            const std::vector<std::string> actual = Run(command);
            EXPECT_TRUE(Matches(expected, 0, actual, 0)) << "$ " << command << "\nthe guide shows:\n"
                                                         << Joined(expected) << "the program prints:\n"
                                                         << Joined(actual);
        }
    }

    std::vector<Block> guide_;
    e2e::TempDir work_;
};

TEST_F(AuthoringGuide, EveryBlockIsOfAKindThatIsChecked) {
    for (const Block& b : guide_) {
        SCOPED_TRACE("docs/authoring.md:" + std::to_string(b.line));
        const bool known = b.info == "console" || b.info == "syntax" || b.info.rfind("mistake ", 0) == 0 ||
                           b.info.rfind("ini example=", 0) == 0 || b.info.rfind("text example=", 0) == 0;
        EXPECT_TRUE(known) << "'" << b.info << "' is no kind of example the test checks";
    }
    // The guide covers what authors get wrong, the formula language and the tools.
    EXPECT_GE(OfKind("mistake").size(), 15u);
    EXPECT_GE(OfKind("console").size(), 8u);
    EXPECT_GE(OfKind("ini").size(), 10u);
}

TEST_F(AuthoringGuide, FileExamplesAreLinesOfTheBundledFiles) {
    for (const std::string kind : {"ini", "text"})
        for (const Block* b : OfKind(kind)) {
            SCOPED_TRACE("docs/authoring.md:" + std::to_string(b->line));
            const std::string path = b->info.substr(b->info.find('=') + 1);
            ASSERT_EQ(path.rfind("examples/", 0), 0u) << path;
            ASSERT_TRUE(fs::is_regular_file(VTR_SOURCE_DIR "/" + path)) << path;
            const std::vector<std::string> file = Lines(e2e::ReadFile(VTR_SOURCE_DIR "/" + path));
            // The block's lines, "..." skipping any, stand somewhere in the file.
            std::vector<std::string> pattern = {"..."};
            pattern.insert(pattern.end(), b->lines.begin(), b->lines.end());
            pattern.push_back("...");
            EXPECT_TRUE(Matches(pattern, 0, file, 0)) << "not in " << path << ":\n" << Joined(b->lines);
        }
}

TEST_F(AuthoringGuide, CommandsPrintWhatTheGuideShows) {
    for (const Block* b : OfKind("console")) {
        SCOPED_TRACE("docs/authoring.md:" + std::to_string(b->line));
        RunConsole(*b);
    }
}

TEST_F(AuthoringGuide, EachMistakeGivesTheCheckMessageTheGuideShows) {
    const std::string config = work_.Path() + "/Data/Meshes/Vultrane/";
    const std::vector<std::string> clean = Run("vultrane check Data");
    ASSERT_EQ(clean.back().rfind("0 errors, 0 warnings", 0), 0u) << Joined(clean);
    for (const Block* b : OfKind("mistake")) {
        const std::string file = b->info.substr(8);
        SCOPED_TRACE("docs/authoring.md:" + std::to_string(b->line) + " (" + file + ")");
        std::vector<std::string> removed, added;
        size_t i = 0;
        for (; i < b->lines.size() && (b->lines[i].rfind("- ", 0) == 0 || b->lines[i].rfind("+ ", 0) == 0); ++i)
            (b->lines[i][0] == '-' ? removed : added).push_back(b->lines[i].substr(2));
        ASSERT_LT(i, b->lines.size());
        ASSERT_EQ(b->lines[i], "$ vultrane check Data") << "a mistake is shown with check's output";
        ASSERT_FALSE(added.empty());

        const std::string path = config + file;
        const bool existed = fs::exists(path);
        const std::string before = existed ? e2e::ReadFile(path) : std::string();
        std::vector<std::string> lines = Lines(before);
        if (removed.empty()) {
            ASSERT_FALSE(existed) << "only '+' lines make a new file";
            lines = added;
        } else {
            ASSERT_TRUE(existed) << path;
            // The removed lines stand together in the file, once.
            auto at = std::search(lines.begin(), lines.end(), removed.begin(), removed.end());
            ASSERT_NE(at, lines.end()) << "not in " << file << ":\n" << Joined(removed);
            at = lines.erase(at, at + static_cast<std::ptrdiff_t>(removed.size()));
            lines.insert(at, added.begin(), added.end());
        }
        std::ofstream(path, std::ios::binary) << Joined(lines);

        Block check{"console", std::vector<std::string>(b->lines.begin() + static_cast<std::ptrdiff_t>(i), b->lines.end()),
                    b->line};
        ASSERT_GT(check.lines.size(), 1u) << "the block shows what check says";
        RunConsole(check);

        if (existed) std::ofstream(path, std::ios::binary) << before;
        else fs::remove(path);
    }
    // Every change was undone: the folder is clean again.
    EXPECT_EQ(Run("vultrane check Data"), clean);
}

}  // namespace
