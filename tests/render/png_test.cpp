#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "os/os.h"
#include "render/png.h"
#include "tests/render/decode_png.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> Pattern(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 37 + i / 7) & 0xFF);
    return rgb;
}

TEST(Png, WrittenPixelsReadBack) {
    vtrtest::ScopedGameFolder dir;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{17, 5}, std::pair{64, 48}}) {
        const std::vector<uint8_t> rgb = Pattern(w, h);
        const std::string path = dir.Path() + "/p" + std::to_string(w) + ".png";
        std::string error;
        ASSERT_TRUE(render::WritePng(path, w, h, rgb, error)) << error;
        const vtrtest::Decoded d = vtrtest::DecodePngFile(path);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.width, w);
        EXPECT_EQ(d.height, h);
        EXPECT_EQ(d.rgb, rgb);
    }
}

TEST(Png, BadInputOrFailedWriteLeavesTheOldFile) {
    vtrtest::ScopedGameFolder dir;
    const std::string path = dir.Path() + "/keep.png";
    std::string error;
    ASSERT_TRUE(render::WritePng(path, 4, 4, Pattern(4, 4), error));
    const auto sizeBefore = std::filesystem::file_size(path);

    EXPECT_FALSE(render::WritePng(path, 4, 4, Pattern(4, 3), error));  // too few bytes
    EXPECT_NE(error.find("bytes"), std::string::npos);
    EXPECT_FALSE(render::WritePng(path, 0, 4, {}, error));
    EXPECT_FALSE(render::WritePng(path, -3, 4, {}, error));
    EXPECT_FALSE(render::WritePng(path, 100000, 100000, {}, error));

    os::InjectWriteFailureAfter(20);  // a disk that fills up halfway
    EXPECT_FALSE(render::WritePng(path, 32, 32, Pattern(32, 32), error));
    os::InjectWriteFailureAfter(SIZE_MAX);
    EXPECT_FALSE(error.empty());

    EXPECT_EQ(std::filesystem::file_size(path), sizeBefore);
    const vtrtest::Decoded d = vtrtest::DecodePngFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, Pattern(4, 4));
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);  // no half-written file left beside it

    EXPECT_FALSE(render::WritePng(dir.Path() + "/no/such/folder/x.png", 2, 2, Pattern(2, 2), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

}  // namespace
