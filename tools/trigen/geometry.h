// Example meshes of the generator: a human head (female and male variants), a pair of
// eyeballs and a mouth interior, all in one model space so that a morph defined as a
// displacement field moves the three meshes together.
//
// Model space: z up, y forward (the face looks along +y), x toward the character's right;
// units of the game (a head about 22 units from chin to crown), the head's centre between
// the ears at eye height near the origin.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace trigen {

struct Vec3 {
    double x = 0, y = 0, z = 0;
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double k) const { return {x * k, y * k, z * k}; }
    Vec3& operator+=(const Vec3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    double Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 Cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double Length() const { return std::sqrt(Dot(*this)); }
};

enum class Sex { kFemale, kMale };
enum class MeshKind { kHead, kEyes, kMouth };
const char* SexName(Sex sex);
const char* MeshKindName(MeshKind kind);

struct Tri {
    uint32_t a, b, c;
};
struct Uv {
    double u, v;
};

// A triangle mesh with its own texture-coordinate list: one texture triangle per triangle.
struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<Tri> triangles;
    std::vector<Uv> uvs;
    std::vector<Tri> uvTriangles;
    // Index of each vertex's mirror image across x = 0 (itself on the midline).
    std::vector<uint32_t> mirror;
};

// Where the features of one head variant are; the morph fields are placed by these.
struct Landmarks {
    Vec3 eye;  // centre of the right eyeball (x > 0); the left one is mirrored
    double eyeRadius;
    Vec3 browRidge;  // on the brow above the right eye
    Vec3 noseRoot;   // between the eyes
    Vec3 noseTip;
    Vec3 noseBase;     // where the nose meets the upper lip
    Vec3 noseWing;     // right nostril wing
    Vec3 mouth;        // middle of the mouth line, on the lips
    Vec3 mouthCorner;  // right corner
    Vec3 upperLip, lowerLip;
    Vec3 chin;          // front of the chin
    Vec3 jawAngle;      // right angle of the jaw
    Vec3 cheekbone;     // right cheekbone
    Vec3 cheek;         // right cheek, below the cheekbone
    Vec3 ear;           // middle of the right ear
    double neckTop;     // z where the neck leaves the head under the chin
    double neckBottom;  // z of the open ring at the bottom
    Vec3 neckCentre;    // axis of the neck at neckTop
};

// One variant's meshes and landmarks, built together because the eyes and the mouth sit
// where the head's sockets and lips are.
struct HeadModel {
    Sex sex;
    Landmarks marks;
    Mesh head;
    Mesh eyes;
    Mesh mouth;
    const Mesh& Get(MeshKind kind) const;
};

// Built once per sex; pure functions of the sex, so every run gives the same numbers.
const HeadModel& Model(Sex sex);
HeadModel BuildModel(Sex sex);

// The head grid's shape, for tools that pick vertices by row and column.
constexpr int kHeadColumns = 56;
constexpr int kHeadRings = 52;

}  // namespace trigen
