// `vultrane tri diff` finds every kind of difference, and `vultrane formula` reports the
// engine's value and messages for each x.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/vultrane/cli_formula.h"
#include "tools/vultrane/cli_tri.h"

namespace {

TriFile Mesh() {
    TriFile f;
    f.vertexCount = 3;
    f.triangleCount = 1;
    f.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    f.triangles = {{0, 1, 2}};
    for (const char* name : {"NoseUp", "NoseDown", "JawWide"}) {
        TriMorph m{name, 0.5f, {{0, 0, 0}, {2, 0, 0}, {0, 0, 0}}};
        f.morphs.push_back(m);
    }
    IndexTriMorphs(f);
    return f;
}

TEST(VultraneTri, DiffFindsHeaderGeometryAndMorphDifferences) {
    const TriFile a = Mesh();
    EXPECT_TRUE(vultrane::CompareTri(a, a).Same());
    // Read back through the library's own reader and writer: still the same.
    TriFile read;
    const std::string bytes = SerializeTri(a);
    TriMemorySource source(bytes.data(), bytes.size());
    ASSERT_TRUE(ReadTriBody(source, read).ok);
    IndexTriMorphs(read);
    EXPECT_TRUE(vultrane::CompareTri(a, read).Same());

    TriFile b = Mesh();
    b.vertices[2].z = 0.25f;
    b.morphs[1].deltas[1] = {2, 0, 3};     // NoseDown: vertex 1 moves 3 x 0.5 further
    b.morphs[2].name = "JawNarrow";         // JawWide only in a, JawNarrow only in b
    IndexTriMorphs(b);
    vultrane::TriDifference d = vultrane::CompareTri(a, b);
    EXPECT_FALSE(d.Same());
    ASSERT_EQ(d.geometry.size(), 1u);
    EXPECT_NE(d.geometry[0].find("1 of 3 vertices differ, at most 0.25"), std::string::npos) << d.geometry[0];
    EXPECT_EQ(d.onlyInA, std::vector<std::string>{"JawWide"});
    EXPECT_EQ(d.onlyInB, std::vector<std::string>{"JawNarrow"});
    ASSERT_EQ(d.changed.size(), 1u);
    EXPECT_EQ(d.changed[0].name, "NoseDown");
    EXPECT_EQ(d.changed[0].vertex, 1);
    EXPECT_DOUBLE_EQ(d.changed[0].largest, 1.5);
    EXPECT_EQ(d.sameMorphs, 1u);

    // The same offsets under another scale are a byte difference but no movement.
    TriFile c = Mesh();
    c.morphs[0].scale = 0.25f;
    for (TriDelta& t : c.morphs[0].deltas) t.dx = static_cast<int16_t>(t.dx * 2);
    d = vultrane::CompareTri(a, c);
    ASSERT_EQ(d.changed.size(), 1u);
    EXPECT_EQ(d.changed[0].verticesDiffering, 0u);
    EXPECT_FALSE(d.changed[0].sameBytes);

    TriFile e = Mesh();
    std::swap(e.morphs[0], e.morphs[1]);
    e.vertexCount = 4;
    IndexTriMorphs(e);
    d = vultrane::CompareTri(a, e);
    EXPECT_TRUE(d.orderDiffers);
    EXPECT_EQ(d.header, std::vector<std::string>{"vertices: 3 vs 4"});
}

TEST(VultraneFormula, EachValueCarriesTheEnginesMessages) {
    vultrane::FormulaTable t = vultrane::EvaluateOverRange("(1:2:x<0.5)", 0.0, 1.0, 4);
    EXPECT_EQ(t.rpn, "1 2 x 0.5 <");
    ASSERT_EQ(t.samples.size(), 5u);
    EXPECT_EQ(t.samples.front().x, 0.0);
    EXPECT_EQ(t.samples.back().x, 1.0);
    const double want[] = {1, 1, 2, 2, 2};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(t.samples[i].y, want[i]) << i;
        EXPECT_TRUE(t.samples[i].log.empty());
    }
    // Division by x: only x = 0 fails, and the engine gives 1 there.
    t = vultrane::EvaluateOverRange("(1/x)", -1.0, 1.0, 2);
    ASSERT_EQ(t.samples.size(), 3u);
    EXPECT_EQ(t.samples[0].y, -1.0);
    EXPECT_TRUE(t.samples[0].log.empty());
    EXPECT_EQ(t.samples[1].y, 1.0);
    ASSERT_EQ(t.samples[1].log.size(), 1u);
    EXPECT_NE(t.samples[1].log[0].find("divided by 0"), std::string::npos);
    // A character that fits no rule is reported by the conversion.
    t = vultrane::EvaluateOverRange("(x$)", 0.0, 1.0, 1);
    ASSERT_EQ(t.conversionLog.size(), 1u);
    EXPECT_EQ(t.rpn, "x");
    EXPECT_EQ(t.samples[1].y, 1.0);
    // The range's end is met exactly, also when the steps do not add up to it in floating point.
    t = vultrane::EvaluateOverRange("x", 0.0, 0.3, 3);
    EXPECT_EQ(t.samples.back().y, 0.3);
}

}  // namespace
