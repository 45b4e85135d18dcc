// The simulated game's loaded morph data, which worlds of the host simulator fill and the
// in-memory morph replacement writes.
#include <gtest/gtest.h>

#include "game/sim/sim_morphdata.h"

namespace {

TEST(E2EWorld, LoadedMorphDataIsFoundByPathAndHoldsEveryVertex) {
    sim::ClearLoadedMorphData();
    sim::LoadedMorphData* head = sim::AddLoadedMorphData("meshes\\actors\\character\\FemaleHead.tri");
    sim::LoadedMorphData* eyes = sim::AddLoadedMorphData("meshes\\actors\\character\\eyesfemale.tri");
    ASSERT_NE(sim::MorphData_AddMorph(head, "Aah", 4, 4), nullptr);
    sim::LoadedMorph* nose = sim::MorphData_AddMorph(head, "NoseType33", 3, 5, 0.25f);
    ASSERT_NE(nose, nullptr);

    ASSERT_EQ(head->morphCount, 2);
    EXPECT_STREQ(head->morphs[1].name, "NoseType33");
    EXPECT_EQ(head->morphs[1].diffVertexNum, 3u);
    EXPECT_EQ(head->morphs[1].baseVertexNum, 5u);
    EXPECT_EQ(head->morphs[1].scale, 0.25f);
    // Room for the larger count: a writer trusting either one stays inside (checked by ASan).
    for (int i = 0; i < 5 * 3; ++i) EXPECT_EQ(head->morphs[1].deltas[i], 0);
    head->morphs[1].deltas[5 * 3 - 1] = 7;
    EXPECT_EQ(head->morphs[0].deltas[4 * 3 - 1], 0) << "morphs do not share deltas";

    // The game compares paths without regard to case.
    EXPECT_EQ(sim::FindLoadedMorphDataByPath("MESHES\\actors\\character\\femalehead.tri"), head);
    EXPECT_EQ(sim::FindLoadedMorphDataByPath("meshes\\actors\\character\\eyesfemale.tri"), eyes);
    EXPECT_EQ(sim::FindLoadedMorphDataByPath("meshes\\actors\\character\\malehead.tri"), nullptr);
    EXPECT_EQ(eyes->morphCount, 0);

    // A count the deltas could not be made for is refused, not cut.
    EXPECT_EQ(sim::MorphData_AddMorph(eyes, "NoseType33", sim::kMaxLoadedMorphVertices + 1, 1), nullptr);
    EXPECT_EQ(eyes->morphCount, 0);

    sim::ClearLoadedMorphData();
    EXPECT_TRUE(sim::AllLoadedMorphData().empty());
}

}  // namespace
