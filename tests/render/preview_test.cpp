#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "morph/tri_format.h"
#include "render/preview.h"
#include "tests/render/decode_png.h"
#include "tests/support/test_support.h"
#include "tools/vultrane/commands.h"

namespace {

// A sphere of radius 5 about the origin; "NoseType32" pushes its front (y > 3) forward by 3
// units, "LipType33" lifts vertex 0 by 0.5, "Grow" moves every vertex outward by 1.
TriFile Sphere() {
    TriFile f;
    const int rings = 16, segs = 24;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < segs; ++s) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * s / segs;
            f.vertices.push_back({static_cast<float>(5 * std::sin(th) * std::cos(ph)),
                                  static_cast<float>(5 * std::sin(th) * std::sin(ph)), static_cast<float>(5 * std::cos(th))});
        }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segs; ++s) {
            const uint32_t a = r * segs + s, b = r * segs + (s + 1) % segs, c = a + segs, d = b + segs;
            f.triangles.push_back({a, c, b});
            f.triangles.push_back({b, c, d});
        }
    f.vertexCount = static_cast<uint32_t>(f.vertices.size());
    f.triangleCount = static_cast<uint32_t>(f.triangles.size());
    TriMorph nose{"NoseType32", 0.001f, {}}, lip{"LipType33", 0.01f, {}}, grow{"Grow", 0.0001f, {}};
    for (const TriVertex& v : f.vertices) {
        nose.deltas.push_back({0, static_cast<int16_t>(v.y > 3 ? 3000 : 0), 0});
        lip.deltas.push_back({0, 0, static_cast<int16_t>(lip.deltas.empty() ? 50 : 0)});
        grow.deltas.push_back({static_cast<int16_t>(v.x * 2000), static_cast<int16_t>(v.y * 2000),
                               static_cast<int16_t>(v.z * 2000)});
    }
    f.morphs = {nose, lip, grow};
    return f;
}

TEST(Preview, VertexPositionsOfMergedFacesAndMorphs) {
    const TriFile f = Sphere();
    const std::vector<float> base = render::BaseVertices(f);
    ASSERT_EQ(base.size(), f.vertices.size() * 3);
    EXPECT_EQ(base[3 * 30 + 1], f.vertices[30].y);

    const std::vector<float> merged = render::MergedFaceVertices(f);
    for (size_t v = 0; v < f.vertices.size(); ++v) {
        EXPECT_NEAR(merged[3 * v + 1], f.vertices[v].y + (f.vertices[v].y > 3 ? 3.0 : 0.0), 1e-5) << v;
        EXPECT_NEAR(merged[3 * v + 2], f.vertices[v].z + (v == 0 ? 0.5 : 0.0), 1e-5) << v;
    }
    std::vector<float> onOther = base;
    std::string error;
    ASSERT_TRUE(render::AddMergedFace(f, onOther, error)) << error;
    EXPECT_EQ(onOther, merged);

    std::vector<float> grown = base;
    ASSERT_TRUE(render::AddMorph(f, "Grow", -0.5, grown, error));
    EXPECT_NEAR(grown[3 * 100], f.vertices[100].x * (1 - 0.5 * 0.2), 1e-3);

    std::vector<float> unchanged = base;
    EXPECT_FALSE(render::AddMorph(f, "Missing", 1, unchanged, error));
    EXPECT_NE(error.find("Missing"), std::string::npos);
    EXPECT_FALSE(render::AddMorph(f, "Grow", NAN, unchanged, error));
    EXPECT_EQ(unchanged, base);
    std::vector<float> shorter(base.begin(), base.end() - 3);
    EXPECT_FALSE(render::AddMergedFace(f, shorter, error));
    EXPECT_FALSE(render::AddMorph(f, "Grow", 1, shorter, error));
    TriFile plain = f;
    plain.morphs.pop_back();
    plain.morphs.erase(plain.morphs.begin(), plain.morphs.begin() + 2);
    EXPECT_FALSE(render::AddMergedFace(plain, unchanged, error));
    EXPECT_EQ(render::MergedFaceVertices(plain), base);
}

bool Background(const render::Rgb& c) { return c.r == 46 && c.g == 50 && c.b == 58; }

int RightmostMeshColumn(const vtrtest::Decoded& d) {
    int right = -1;
    for (int y = 40; y < d.height; ++y)  // below the label
        for (int x = 0; x < d.width; ++x)
            if (!Background(d.At(x, y))) right = std::max(right, x);
    return right;
}

TEST(Preview, BeforeAndAfterShareOneCamera) {
    vtrtest::ScopedGameFolder dir;
    const TriFile f = Sphere();
    const std::vector<float> before = render::BaseVertices(f), after = render::MergedFaceVertices(f);
    render::PreviewFiles files;
    std::string error;
    size_t calls = 0;
    ASSERT_TRUE(render::WriteFacePreviews(f, before, after, dir.Path() + "/s", 128, true, files, error,
                                          [&](size_t done, size_t total) {
                                              EXPECT_EQ(total, 5u);
                                              EXPECT_EQ(done, ++calls);
                                          }))
        << error;
    const std::vector<std::string> names = {"-before-front.png", "-before-profile.png", "-after-front.png",
                                            "-after-profile.png", "-moved-front.png"};
    ASSERT_EQ(files.paths.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(files.paths[i], dir.Path() + "/s" + names[i]);

    const vtrtest::Decoded bp = vtrtest::DecodePngFile(files.paths[1]), ap = vtrtest::DecodePngFile(files.paths[3]);
    ASSERT_TRUE(bp.ok && ap.ok);
    EXPECT_EQ(bp.width, 128);
    // The profile has the face to the right: pushed forward, it reaches further right, still
    // inside the picture because the camera was fitted to both shapes.
    const int rb = RightmostMeshColumn(bp), ra = RightmostMeshColumn(ap);
    EXPECT_GT(ra, rb + 10);
    EXPECT_LT(ra, 127);
    // The back of the head did not move and stays where it was.
    int leftB = 128, leftA = 128;
    for (int y = 40; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            if (!Background(bp.At(x, y))) leftB = std::min(leftB, x);
            if (!Background(ap.At(x, y))) leftA = std::min(leftA, x);
        }
    EXPECT_EQ(leftA, leftB);

    // The moved map is red where the front moved and blue at the back.
    const vtrtest::Decoded m = vtrtest::DecodePngFile(files.paths[4]);
    ASSERT_TRUE(m.ok);
    const render::Rgb centre = m.At(64, 64);
    EXPECT_GT(centre.r, centre.b + 60);
    const TriFile g = Sphere();
    std::vector<float> same = before;
    render::PreviewFiles still;
    ASSERT_TRUE(render::WriteFacePreviews(g, before, same, dir.Path() + "/t", 128, true, still, error));
    const vtrtest::Decoded mb = vtrtest::DecodePngFile(still.paths[4]);
    EXPECT_GT(mb.At(64, 64).b, mb.At(64, 64).r + 60);
    // Nothing moved: before and after are the same picture apart from the label.
    const vtrtest::Decoded f0 = vtrtest::DecodePngFile(still.paths[0]), f1 = vtrtest::DecodePngFile(still.paths[2]);
    ASSERT_TRUE(f0.ok && f1.ok);
    EXPECT_TRUE(std::equal(f0.rgb.begin() + 30 * 128 * 3, f0.rgb.end(), f1.rgb.begin() + 30 * 128 * 3));
    EXPECT_NE(f0.rgb, f1.rgb);

    render::PreviewFiles four;
    ASSERT_TRUE(render::WriteFacePreviews(f, before, after, dir.Path() + "/u", 64, false, four, error));
    EXPECT_EQ(four.paths.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/u-moved-front.png"));

    render::PreviewFiles none;
    EXPECT_FALSE(render::WriteFacePreviews(f, before, after, dir.Path() + "/v", 8, true, none, error));
    EXPECT_FALSE(render::WriteFacePreviews(f, before, std::vector<float>(9), dir.Path() + "/v", 64, true, none, error));
    std::vector<float> nans(before.size(), NAN);
    EXPECT_FALSE(render::WriteFacePreviews(f, nans, nans, dir.Path() + "/v", 64, true, none, error));
    EXPECT_TRUE(none.paths.empty());
    // A NaN vertex and a bad triangle index in a mod's mesh: drawn around, not a crash.
    TriFile broken = f;
    broken.vertices[5].x = NAN;
    broken.triangles.push_back({0, 1, 100000});
    ASSERT_TRUE(render::WriteFacePreviews(broken, render::BaseVertices(broken), render::MergedFaceVertices(broken),
                                          dir.Path() + "/w", 64, true, none, error))
        << error;
}

int RunPreview(std::vector<std::string> args) {
    CLI::App app;
    vultrane::Run run;
    vultrane::AddPreviewCommand(app, run);
    args.insert(args.begin(), {"vultrane", "preview"});
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
    return run.exitCode;
}

TEST(Preview, CommandAppliesMorphsOrAMergedFile) {
    vtrtest::ScopedGameFolder dir;
    const std::string mesh = dir.Path() + "/head.tri", merged = dir.Path() + "/merged.tri",
                      small = dir.Path() + "/small.tri";
    const TriFile f = Sphere();
    auto write = [](const std::string& path, const TriFile& file) {
        std::ofstream(path, std::ios::binary) << SerializeTri(file);
    };
    write(mesh, f);
    write(merged, f);
    TriFile few = f;
    few.vertices.resize(10);
    few.vertexCount = 10;
    few.triangles.resize(2);
    few.triangleCount = 2;
    for (TriMorph& m : few.morphs) m.deltas.resize(10);
    write(small, few);

    EXPECT_EQ(RunPreview({mesh, "--morph", "Grow=1.5", "--morph", "NoseType32=1", "--out", dir.Path() + "/a",
                          "--size", "64"}),
              0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/a-after-profile.png"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/a-moved-front.png"));
    EXPECT_EQ(RunPreview({mesh, "--merged", merged, "--out", dir.Path() + "/b", "--size", "64", "--no-moved-map"}), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/b-after-front.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/b-moved-front.png"));

    // Work that cannot be done: exit 1 through main, with the reason.
    try {
        RunPreview({mesh, "--merged", small, "--out", dir.Path() + "/c"});
        ADD_FAILURE() << "a merged file of another mesh was taken";
    } catch (const vultrane::UsageError&) {
        ADD_FAILURE() << "reported as bad arguments";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("10 vertices"), std::string::npos) << e.what();
    }
    EXPECT_THROW(RunPreview({mesh, "--morph", "Missing=1", "--out", dir.Path() + "/c"}), std::runtime_error);
    EXPECT_THROW(RunPreview({dir.Path() + "/small.tri.missing", "--out", dir.Path() + "/c"}), CLI::ParseError);
    // Bad arguments: exit 2.
    EXPECT_THROW(RunPreview({mesh, "--morph", "Grow=abc", "--out", dir.Path() + "/c"}), vultrane::UsageError);
    EXPECT_THROW(RunPreview({mesh, "--morph", "Grow", "--out", dir.Path() + "/c"}), vultrane::UsageError);
    EXPECT_THROW(RunPreview({mesh, "--morph", "Grow=nan", "--out", dir.Path() + "/c"}), vultrane::UsageError);
    EXPECT_THROW(RunPreview({mesh, "--out", dir.Path() + "/c", "--size", "10"}), CLI::ParseError);
    EXPECT_THROW(RunPreview({mesh, "--merged", merged, "--morph", "Grow=1", "--out", dir.Path() + "/c"}),
                 CLI::ParseError);
    EXPECT_THROW(RunPreview({mesh}), CLI::ParseError);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/c-before-front.png"));

    // As every subcommand, preview makes the folder of its output; a file in its way is a failure.
    EXPECT_EQ(RunPreview({mesh, "--out", dir.Path() + "/no/such/c", "--size", "64", "--no-moved-map"}), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/no/such/c-before-front.png"));
    std::ofstream(dir.Path() + "/file") << "in the way";
    EXPECT_THROW(RunPreview({mesh, "--out", dir.Path() + "/file/c"}), std::runtime_error);
}

TEST(Preview, SideBySideHoldsTheFourViewsUnderItsCaption) {
    vtrtest::ScopedGameFolder dir;
    const TriFile f = Sphere();
    const std::vector<float> before = render::BaseVertices(f), after = render::MergedFaceVertices(f);
    render::PreviewFiles files;
    std::string error;
    size_t total = 0;
    ASSERT_TRUE(render::WriteFacePreviews(f, before, after, dir.Path() + "/s", 96, false, files, error,
                                          [&](size_t, size_t all) { total = all; }, "Sphere, preset x"))
        << error;
    ASSERT_EQ(files.paths.size(), 5u);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(files.paths[4], dir.Path() + "/s-before-after.png");
    const vtrtest::Decoded all = vtrtest::DecodePngFile(files.paths[4]);
    ASSERT_TRUE(all.ok);
    const int gap = 2, bar = all.height - 2 * 96 - gap;
    EXPECT_EQ(all.width, 2 * 96 + gap);
    EXPECT_GT(bar, 7);
    // Before on the left, after on the right; front above, profile below: each quarter is the
    // separate picture, pixel for pixel.
    const int at[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};  // before-front, before-profile, after-front, after-profile
    for (int i = 0; i < 4; ++i) {
        const vtrtest::Decoded one = vtrtest::DecodePngFile(files.paths[static_cast<size_t>(i)]);
        ASSERT_TRUE(one.ok);
        int differ = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                const render::Rgb a = one.At(x, y), b = all.At(at[i][0] * (96 + gap) + x, bar + at[i][1] * (96 + gap) + y);
                differ += a.r != b.r || a.g != b.g || a.b != b.b;
            }
        EXPECT_EQ(differ, 0) << files.paths[static_cast<size_t>(i)];
    }
    // The caption is drawn on the bar.
    int bright = 0;
    for (int y = 0; y < bar; ++y)
        for (int x = 0; x < all.width; ++x) bright += all.At(x, y).r > 200;
    EXPECT_GT(bright, 50);
}

}  // namespace
