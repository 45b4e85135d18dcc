// The generator's morph shapes: each morph name is a displacement field over model space,
// placed by a head variant's landmarks, so that the head, the eyes and the mouth of one
// variant move together under the same name.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "morph/tri_format.h"
#include "tools/trigen/geometry.h"

namespace trigen {

using Field = std::function<Vec3(const Vec3& p)>;

struct MorphShape {
    Field field;
    // Shape changes of the eye region move each eyeball as a whole (by the field at its
    // centre) instead of bending it.
    bool eyesRigid = false;
};

// The shape of a morph name for a variant; none for a name the generator has no shape for.
// Names: the game's face morphs, the type families (EyesType1, NoseType12, ...; number 0 is
// the neutral shape), VampireMorph, the neck and head morphs, the reserved slots NoseType33
// and NoseType34 (zero: the plug-in fills them), the example sets' own morphs, and names
// made of a feature word and a direction word (NoseWide, BrowRidgeDeep, ...), optionally
// followed by a number (graded families such as CheeksFull0..20).
std::optional<MorphShape> FindMorphShape(const std::string& name, const Landmarks& marks);

// Per-vertex offsets of a morph on one mesh of a variant.
std::vector<Vec3> MorphOffsets(const MorphShape& shape, const HeadModel& model, MeshKind kind);

// The offsets as the format stores them: 16-bit deltas and scale = largest |component| / 32767
// (scale 1 and zero deltas when nothing moves).
TriMorph QuantiseMorph(const std::string& name, const std::vector<Vec3>& offsets);

}  // namespace trigen
