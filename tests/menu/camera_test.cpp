#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "menu/camera.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = 3.14159265358979323846;

// Rz(y) * Rx(p) * Ry(r): the order in which the angle reading takes a rotation apart.
sim::TransformSpec Rotated(double p, double r, double y, float tx = 0, float ty = 0, float tz = 0) {
    const double cp = std::cos(p), sp = std::sin(p), cr = std::cos(r), sr = std::sin(r);
    const double cy = std::cos(y), sy = std::sin(y);
    const double m[9] = {cy * cr - sy * sp * sr, -sy * cp, cy * sr + sy * sp * cr,
                         sy * cr + cy * sp * sr, cy * cp,  sy * sr - cy * sp * cr,
                         -cp * sr,               sp,       cp * cr};
    sim::TransformSpec t;
    for (int i = 0; i < 9; ++i) t.rotate[i] = static_cast<float>(m[i]);
    t.translate[0] = tx;
    t.translate[1] = ty;
    t.translate[2] = tz;
    return t;
}

NiMatrix33 Matrix(std::initializer_list<float> rows) {
    NiMatrix33 m{};
    int i = 0;
    for (float v : rows) m.data[i / 3][i % 3] = v, ++i;
    return m;
}

void ExpectMatrixNear(const NiMatrix33& got, const NiMatrix33& want, const char* what) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(got.data[i][j], want.data[i][j], 1e-6) << what << " " << i << j;
}

class CameraMenu : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetWorld(); }
    void TearDown() override { sim::ResetWorld(); }

    std::vector<const GFxValue*> Angles() {
        GFxValue& result = menu.NewArray();
        menu.Call("GetPlayerAngles", {result});
        return vtrtest::Elements(result);
    }
    void SetPos(double x, double y, double z, double a, double b, double c) {
        menu.Call("SetCameraPos", {MenuHarness::Number(x), MenuHarness::Number(y), MenuHarness::Number(z),
                                   MenuHarness::Number(a), MenuHarness::Number(b), MenuHarness::Number(c)});
    }

    MenuHarness menu;
};

TEST_F(CameraMenu, FieldOfView) {
    // Without a camera nothing happens and the base field of view reads as 0.
    menu.Call("SetCameraFov", {MenuHarness::Number(65)});
    EXPECT_EQ(menu.Call("GetCameraFov", {}).data.number, 0);

    PlayerCamera* camera = sim::CreateCamera(80, 75);
    struct Row {
        double in;
        float current;
    };
    const Row rows[] = {
        {65, 65}, {0, 75}, {90.5, 90.5f}, {-5, 75}, {0.1, 0.1f}, {kNaN, 75},
        {kInf, 75}, {1e300, 75}, {65, 65}, {-kInf, 75}, {-1e300, 75}, {1e-300, 75},
    };
    for (const Row& r : rows) {
        menu.Call("SetCameraFov", {MenuHarness::Number(r.in)});
        EXPECT_EQ(camera->worldFOV, r.current) << r.in;
        // The base one is what GetCameraFov reports, whatever the current one is.
        EXPECT_EQ(menu.Call("GetCameraFov", {MenuHarness::Number(1)}).data.number, 75);
    }
}

TEST_F(CameraMenu, AnglesOfARotation) {
    // Identity, straight up and down (the two gimbal cases), and rotations built from angles.
    const float halfPi = static_cast<float>(kPi / 2);
    NodeAngles a = AnglesFromRotation(Matrix({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(a.p, 0);
    EXPECT_EQ(a.r, 0);
    EXPECT_EQ(a.y, 0);

    // Pitched straight up or down (e7 = 1 or -1) with a yaw of 0.5: the yaw is read from e3
    // and e0 and agrees with the yaw of a pitch just short of it.
    NiMatrix33 m{};
    for (double pitch : {kPi / 2, -kPi / 2}) {
        auto t = Rotated(pitch, 0, 0.5);
        for (int i = 0; i < 9; ++i) m.data[i / 3][i % 3] = t.rotate[i];
        ASSERT_EQ(std::abs(m.data[2][1]), 1.0f);
        a = AnglesFromRotation(m);
        EXPECT_EQ(a.p, pitch > 0 ? halfPi : -halfPi);
        EXPECT_EQ(a.r, 0);
        EXPECT_NEAR(a.y, 0.5, 1e-6) << pitch;
        t = Rotated(pitch * 0.98, 0, 0.5);
        for (int i = 0; i < 9; ++i) m.data[i / 3][i % 3] = t.rotate[i];
        ASSERT_LT(std::abs(m.data[2][1]), 0.9999f);
        EXPECT_NEAR(AnglesFromRotation(m).y, 0.5, 1e-5) << pitch;
    }

    struct Row {
        double p, r, y;
    };
    for (const Row& row : {Row{0.3, -0.2, 1.1}, Row{-1.2, 2.5, -3.0}, Row{1.5, 0.1, 0.2}, Row{0, 0, kPi / 2}}) {
        auto t = Rotated(row.p, row.r, row.y);
        for (int i = 0; i < 9; ++i) m.data[i / 3][i % 3] = t.rotate[i];
        a = AnglesFromRotation(m);
        EXPECT_NEAR(a.p, row.p, 1e-5);
        EXPECT_NEAR(a.r, row.r, 1e-5);
        EXPECT_NEAR(a.y, row.y, 1e-5);
        // Rounded to 32-bit floats.
        EXPECT_EQ(a.p, static_cast<float>(a.p));
        EXPECT_EQ(a.r, static_cast<float>(a.r));
        EXPECT_EQ(a.y, static_cast<float>(a.y));
    }

    // Broken matrices give numbers or NaN, never a crash.
    a = AnglesFromRotation(Matrix({NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN}));
    EXPECT_TRUE(std::isnan(a.p));
}

TEST_F(CameraMenu, PlayerAnglesRecord) {
    EXPECT_TRUE(Angles().empty());  // no player

    TESNPC* npc = sim::AddNpc(0);
    sim::CreatePlayer(&npc->form, nullptr);
    auto records = Angles();
    ASSERT_EQ(records.size(), 1u);
    const std::vector<std::string> keys = {"baseR", "baseP", "baseY", "headR", "headP", "headY",
                                           "basePosX", "basePosY", "basePosZ", "cameraPosX", "cameraPosY",
                                           "cameraPosZ"};
    EXPECT_EQ(vtrtest::MemberNames(*records[0]), keys);
    for (const std::string& k : keys) EXPECT_EQ(vtrtest::Num(*records[0], k.c_str()), 0) << k;

    // The plain 3D root, and the loaded one that replaces it.
    NiNode* plain = sim::AddNode(nullptr, "scene");
    sim::AddNode(plain, "NPC Root [Root]", Rotated(0, 0, 1.0, 1, 2, 3));
    NiNode* loaded = sim::AddNode(nullptr, "scene");
    NiNode* root = sim::AddNode(loaded, "NPC Root [Root]", Rotated(0.1, 0.2, 0.3, 10, 20, 30));
    NiNode* neck = sim::AddNode(root, "NPC Neck", Rotated(0, 0, 0, 0, 0, 100));
    sim::AddNode(neck, "NPC Head [Head]", Rotated(0.4, 0, 0));
    NiNode* cameraRoot = sim::AddNode(nullptr, "Camera Root", Rotated(0, 0, 0, -7, 8, 9.5));
    sim::CreateCamera(80, 75);
    sim::Camera_SetRoot(cameraRoot);

    sim::Player_SetRoot3D(plain);
    records = Angles();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NEAR(vtrtest::Num(*records[0], "baseY"), 1.0, 1e-5);
    EXPECT_EQ(vtrtest::Num(*records[0], "basePosX"), 1);
    EXPECT_EQ(vtrtest::Num(*records[0], "headP"), 0);  // no head node in this model
    EXPECT_EQ(vtrtest::Num(*records[0], "cameraPosX"), -7);
    EXPECT_EQ(vtrtest::Num(*records[0], "cameraPosZ"), 9.5);

    sim::Player_SetLoaded3D(loaded);
    records = Angles();
    ASSERT_EQ(records.size(), 1u);
    const GFxValue& rec = *records[0];
    EXPECT_NEAR(vtrtest::Num(rec, "baseP"), 0.1, 1e-5);
    EXPECT_NEAR(vtrtest::Num(rec, "baseR"), 0.2, 1e-5);
    EXPECT_NEAR(vtrtest::Num(rec, "baseY"), 0.3, 1e-5);
    // The head's world rotation is the root's followed by its own pitch.
    const NodeAngles head = NodeWorldAngles("NPC Head [Head]");
    EXPECT_EQ(vtrtest::Num(rec, "headP"), head.p);
    EXPECT_EQ(vtrtest::Num(rec, "headR"), head.r);
    EXPECT_EQ(vtrtest::Num(rec, "headY"), head.y);
    EXPECT_GT(head.p, 0.4);
    EXPECT_EQ(vtrtest::Num(rec, "basePosX"), 10);
    EXPECT_EQ(vtrtest::Num(rec, "basePosY"), 20);
    EXPECT_EQ(vtrtest::Num(rec, "basePosZ"), 30);
    const NodePosition headPos = NodeWorldPosition("NPC Head [Head]");
    EXPECT_GT(std::abs(headPos.x - 10) + std::abs(headPos.y - 20), 1.0);  // the neck's offset, rotated
    EXPECT_EQ(vtrtest::Num(rec, "cameraPosY"), 8);

    // A player that does not cast to the player type keeps the plain root.
    sim::RemovePlayer();
    sim::CreatePlayer(&npc->form, nullptr, false);
    sim::Player_SetRoot3D(plain);
    sim::Player_SetLoaded3D(loaded);
    EXPECT_EQ(vtrtest::Num(*Angles()[0], "basePosX"), 1);
    EXPECT_EQ(FindCharacterNode(""), nullptr);
    EXPECT_EQ(FindCharacterNode("npc root [root]"), nullptr);  // names count case
}

class CameraPlacement : public CameraMenu {
protected:
    void SetUp() override {
        CameraMenu::SetUp();
        cameraRoot = sim::AddNode(nullptr, "Camera Root", Rotated(0, 0, 0, 100, 200, 300));
        sim::AddEmptyChildSlot(cameraRoot);
        lookalike = sim::AddNode(cameraRoot, "worldroot camera");
        target = sim::AddNode(cameraRoot, "WorldRoot Camera");
        follower = sim::AddNode(target, "follower", Rotated(0, 0, 0, 0, 0, 1));
        second = sim::AddNode(cameraRoot, "WorldRoot Camera");
        sim::CreateCamera(80, 75);
        sim::Camera_SetRoot(cameraRoot);
    }

    NiNode* cameraRoot = nullptr;
    NiNode* lookalike = nullptr;
    NiNode* target = nullptr;
    NiNode* follower = nullptr;
    NiNode* second = nullptr;
};

TEST_F(CameraPlacement, ZerosGiveAQuarterTurnAboutZAndX) {
    SetPos(0, 0, 0, 0, 0, 0);
    ExpectMatrixNear(target->av.m_localTransform.rot, Matrix({0, 0, 1, 1, 0, 0, 0, 1, 0}), "Rz(pi/2) Rx(pi/2)");
    // Only the first node of that exact name moves.
    ExpectMatrixNear(lookalike->av.m_localTransform.rot, Matrix({1, 0, 0, 0, 1, 0, 0, 0, 1}), "lookalike");
    ExpectMatrixNear(second->av.m_localTransform.rot, Matrix({1, 0, 0, 0, 1, 0, 0, 0, 1}), "second");
}

TEST_F(CameraPlacement, RotationOrderAndWorldUpdate) {
    const double halfPi = kPi / 2;
    // a and c of -pi/2 cancel the quarter turns exactly (the sums are formed in floats).
    SetPos(1, 2, 3, -halfPi, 0, -halfPi);
    ExpectMatrixNear(target->av.m_localTransform.rot, Matrix({1, 0, 0, 0, 1, 0, 0, 0, 1}), "identity");
    EXPECT_EQ(target->av.m_localTransform.pos.x, 1);
    EXPECT_EQ(target->av.m_localTransform.pos.z, 3);
    // The world data follows: the parent's translation, then the node's, then the child's.
    EXPECT_EQ(target->av.m_worldTransform.pos.x, 101);
    EXPECT_EQ(target->av.m_worldTransform.pos.y, 202);
    EXPECT_EQ(follower->av.m_worldTransform.pos.z, 304);

    // Ry(t) * Rx(pi/2): Y is applied after X.
    const double t = 0.5;
    SetPos(0, 0, 0, 0, t, -halfPi);
    const float ct = static_cast<float>(std::cos(t)), st = static_cast<float>(std::sin(t));
    ExpectMatrixNear(target->av.m_localTransform.rot, Matrix({ct, st, 0, 0, 0, -1, -st, ct, 0}), "Ry Rx");
    // Rz(pi/2 + c) alone.
    SetPos(0, 0, 0, -halfPi, 0, t - halfPi);
    ExpectMatrixNear(target->av.m_localTransform.rot, Matrix({ct, -st, 0, st, ct, 0, 0, 0, 1}), "Rz");
    // The follower's world rotation now carries the camera node's.
    ExpectMatrixNear(follower->av.m_worldTransform.rot, Matrix({ct, -st, 0, st, ct, 0, 0, 0, 1}), "follower");
}

TEST_F(CameraPlacement, NothingMovesWithoutTheNodeOrWithValuesThatAreNotFinite) {
    vtrtest::LogCapture log;
    const NiTransform before = target->av.m_localTransform;
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(std::memcmp(&target->av.m_localTransform, &before, sizeof before), 0) << what;
    };
    SetPos(kNaN, 0, 0, 0, 0, 0);
    SetPos(0, 0, 0, 0, 0, kInf);
    SetPos(0, 1e300, 0, 0, 0, 0);
    SetPos(0, 0, 0, -1e300, 0, 0);
    unchanged("not finite");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR: SetCameraPos: argument 1 is not a finite number.",
                               "    ERROR: SetCameraPos: argument 6 is not a finite number.",
                               "    ERROR: SetCameraPos: argument 2 is not a finite number.",
                               "    ERROR: SetCameraPos: argument 4 is not a finite number.",
                           }));
    log.Clear();

    // A camera root without the node, one without children, none at all, no camera.
    NiNode* other = sim::AddNode(nullptr, "Other Root");
    sim::AddNode(other, "Camera Child");
    sim::AddEmptyChildSlot(other);
    for (NiNode* root : {other, sim::AddNode(nullptr, "Bare Root"), static_cast<NiNode*>(nullptr)}) {
        sim::Camera_SetRoot(root);
        SetPos(5, 5, 5, 1, 1, 1);
        unchanged("other root");
    }
    sim::ResetWorld();
    SetPos(5, 5, 5, 1, 1, 1);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(CameraMenu, WrongArgumentsAreReported) {
    vtrtest::LogCapture log;
    PlayerCamera* camera = sim::CreateCamera(80, 75);
    GFxValue& result = menu.NewArray();
    menu.Call("SetCameraFov", {MenuHarness::Bool(true)});
    menu.Call("GetPlayerAngles", {MenuHarness::Number(0)});
    menu.Call("SetCameraPos", {MenuHarness::Number(0), MenuHarness::Number(0), MenuHarness::Number(0),
                               MenuHarness::Number(0), MenuHarness::Number(0)});
    menu.Call("SetCameraPos", {MenuHarness::Number(0), MenuHarness::Number(0), MenuHarness::Number(0),
                               MenuHarness::Number(0), MenuHarness::Number(0), menu.String("0")});
    menu.Call("GetPlayerAngles", {});
    EXPECT_EQ(camera->worldFOV, 80);
    EXPECT_TRUE(vtrtest::Elements(result).empty());
    const std::string pos =
        "    ERROR: system: invalid arguments. Quorvix.SetCameraPos(x:Number, y:Number, z:Number, a:Number, "
        "b:Number, c:Number).";
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR: system: invalid arguments. Quorvix.SetCameraFov(fov:Number).",
                               "    ERROR: system: invalid arguments. Quorvix.GetPlayerAngles(result:Array).",
                               pos,
                               pos,
                               "    ERROR: system: invalid arguments. Quorvix.GetPlayerAngles(result:Array).",
                           }));
}

}  // namespace

TEST_F(CameraPlacement, ChildSlotsFromTheEmptyRunStartOnAreNotRead) {
    // Slots: 0 empty, 1 the look-alike, 2 the camera node, 3 its second namesake.
    sim::Node_SetEmptyRunStart(cameraRoot, 2);
    EXPECT_FALSE(SetCameraPos(1, 2, 3, 0, 0, 0)) << "slot 2 lies past the filled run";
    EXPECT_EQ(target->av.m_localTransform.pos.x, 0);
    EXPECT_EQ(second->av.m_localTransform.pos.x, 0);
    sim::Node_SetEmptyRunStart(cameraRoot, 3);
    EXPECT_TRUE(SetCameraPos(1, 2, 3, 0, 0, 0));
    EXPECT_EQ(target->av.m_localTransform.pos.x, 1);
    sim::Node_SetEmptyRunStart(cameraRoot, 60000);  // a count past the capacity reads no further
    EXPECT_TRUE(SetCameraPos(4, 2, 3, 0, 0, 0));
    EXPECT_EQ(target->av.m_localTransform.pos.x, 4);
}
