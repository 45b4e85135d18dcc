#include "menu/camera.h"

#include <cmath>
#include <cstring>

#include "game/player.h"
#include "base/log.h"
#include "base/numeric.h"

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

NiNode* CameraRoot() {
    PlayerCamera* camera = PlayerCameraSingleton();
    return camera ? camera->cameraNode : nullptr;
}

using Matrix = double[3][3];

void Multiply(const Matrix& a, const Matrix& b, Matrix& out) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}

}  // namespace

void SetCameraFov(double fov) {
    PlayerCamera* camera = PlayerCameraSingleton();
    if (!camera) return;
    // Asked before the current value changes: the game binding learns the base from the
    // current field of view the first time it is asked.
    const float base = PlayerCamera_GetBaseFov(camera);
    const float value = NarrowToFloat(fov);
    // An infinite field of view is no view at all; it restores the base one like 0 does.
    camera->worldFOV = (std::isfinite(value) && value > 0) ? value : base;
}

double GetCameraFov() {
    PlayerCamera* camera = PlayerCameraSingleton();
    return camera ? PlayerCamera_GetBaseFov(camera) : 0.0;
}

NiAVObject* FindCharacterNode(const char* name) {
    if (!name || !*name) return nullptr;  // unlike a slider's node, an empty name is no node here
    return FindPlayerNode(PlayerSingleton(), name);
}

NodeAngles AnglesFromRotation(const NiMatrix33& m) {
    const double e0 = m.data[0][0], e1 = m.data[0][1], e3 = m.data[1][0], e4 = m.data[1][1];
    const double e6 = m.data[2][0], e7 = m.data[2][1], e8 = m.data[2][2];
    double p, r, y;
    // Straight up or down, roll and yaw turn about the same axis: all of it is reported as
    // yaw. Up and down read it alike; with -e3 for up the yaw would change sign as the pitch
    // crosses into this case.
    if (e7 > 0.9999) {
        p = kHalfPi;
        r = 0;
        y = std::atan2(e3, e0);
    } else if (e7 < -0.9999) {
        p = -kHalfPi;
        r = 0;
        y = std::atan2(e3, e0);
    } else {
        p = std::asin(e7);
        r = std::atan2(-e6, e8);
        y = std::atan2(-e1, e4);
    }
    return {NarrowToFloat(p), NarrowToFloat(r), NarrowToFloat(y)};
}

NodeAngles NodeWorldAngles(const char* name) {
    NiAVObject* node = FindCharacterNode(name);
    return node ? AnglesFromRotation(node->m_worldTransform.rot) : NodeAngles{};
}

NodePosition NodeWorldPosition(const char* name) {
    NiAVObject* node = FindCharacterNode(name);
    if (!node) return {};
    const NiPoint3& t = node->m_worldTransform.pos;
    return {t.x, t.y, t.z};
}

bool ReadPlayerAngles(PlayerAngles* out) {
    if (!PlayerSingleton()) return false;
    out->base = NodeWorldAngles("NPC Root [Root]");
    out->head = NodeWorldAngles("NPC Head [Head]");
    out->basePos = NodeWorldPosition("NPC Root [Root]");
    out->cameraPos = {};
    if (NiNode* root = CameraRoot()) {
        const NiPoint3& t = root->av.m_worldTransform.pos;
        out->cameraPos = {t.x, t.y, t.z};
    }
    return true;
}

NiMatrix33 CameraNodeRotation(float a, float b, float c) {
    const float ax = a + static_cast<float>(kHalfPi);
    const float cz = c + static_cast<float>(kHalfPi);
    const double sx = std::sin(ax), cx = std::cos(ax);
    const double sy = std::sin(b), cy = std::cos(b);
    const double sz = std::sin(cz), czz = std::cos(cz);
    const Matrix rx = {{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}};
    const Matrix ry = {{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
    const Matrix rz = {{czz, -sz, 0}, {sz, czz, 0}, {0, 0, 1}};
    Matrix zy, zyx;
    Multiply(rz, ry, zy);
    Multiply(zy, rx, zyx);
    NiMatrix33 out{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out.data[i][j] = NarrowToFloat(zyx[i][j]);
    return out;
}

NiAVObject* FindChildByName(NiNode* parent, const char* name) {
    if (!parent || !name) return nullptr;
    const NiTArray_AVObject& children = parent->m_children;
    if (!children.data) return nullptr;
    for (uint16_t i = 0; i < children.SlotsInUse(); ++i) {
        NiAVObject* child = children.data[i];
        if (child && child->m_name && std::strcmp(child->m_name, name) == 0) return child;
    }
    return nullptr;
}

bool SetCameraPos(float x, float y, float z, float a, float b, float c) {
    NiAVObject* node = FindChildByName(CameraRoot(), "WorldRoot Camera");
    if (!node) return false;
    node->m_localTransform.pos = {x, y, z};
    node->m_localTransform.rot = CameraNodeRotation(a, b, c);
    ControllerUpdateContext context{};
    Node_UpdateWorldData(node, &context);
    return true;
}

void LogCameraNodes() {
    NiNode* root = CameraRoot();
    if (!root) return;
    const NiAVObject& r = root->av;
    if (r.m_name) {
        LogMessage("0:%s", r.m_name);
        const NiPoint3& l = r.m_localTransform.pos;
        const NiPoint3& w = r.m_worldTransform.pos;
        LogMessage("0L:%f, %f, %f", l.x, l.y, l.z);
        LogMessage("0W:%f, %f, %f", w.x, w.y, w.z);
    }
    const NiTArray_AVObject& children = root->m_children;
    if (children.filledCount == 0 || !children.data) return;
    for (int i = 0; i < children.SlotsInUse(); ++i) {
        const NiAVObject* child = children.data[i];
        if (!child || !child->m_name) continue;
        LogMessage("%d:%s", i, child->m_name);
        const auto& m = child->m_localTransform.rot.data;
        for (int row = 0; row < 3; ++row) LogMessage("%dL:%f, %f, %f", i, m[row][0], m[row][1], m[row][2]);
    }
}
