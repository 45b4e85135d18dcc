// The simulated game's objects: forms, the player, tint layers, scene nodes and camera,
// pooled strings, model updates and the patched call site.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "game/engine.h"
#include "game/sim/sim.h"
#include "game/sim/sim_morphdata.h"

namespace {

// Type tags stored in the vtable slot of simulated forms, so that the dynamic cast can
// tell kinds apart.
struct Tag { const char* name; };
const Tag kTagRace{"TESRace"};
const Tag kTagNpc{"TESNPC"};
const Tag kTagHeadPart{"BGSHeadPart"};
const Tag kTagColor{"BGSColorForm"};
const Tag kTagOther{"TESForm"};
const Tag kTagReference{"TESObjectREFR"};
const Tag kTagPlayer{"PlayerCharacter"};
const Tag kTagNode{"NiNode"};

const uint8_t kDescBaseForm = 0, kDescNpc = 0, kDescReference = 0, kDescPlayer = 0;

struct SimNpc {
    TESNPC rec{};
    int8_t sex = 0;
    std::vector<BGSHeadPart*> parts;
    HeadData headData{};
    FaceMorphs morphs{};
};

struct SimPlayer {
    PlayerCharacter rec{};
    NiNode* root3D = nullptr;
    LoadedState loaded{};
    std::vector<TintMask*> tints;
    std::vector<TintMask*> secondTints;
    tArray<TintMask*> secondList{};
    bool hasSecond = false;
};

struct SimTint {
    TintMask mask{};
    TESTexture texture{};
};

struct SimNode {
    NiNode node{};
    std::vector<NiAVObject*> children;
};

struct SimCamera {
    PlayerCamera rec{};
    float baseFov = 0;
};

struct World {
    std::deque<std::unique_ptr<TESRace>> races;
    std::deque<std::unique_ptr<BGSHeadPart>> headParts;
    std::deque<std::unique_ptr<BGSColorForm>> colors;
    std::deque<std::unique_ptr<SimNpc>> npcs;
    std::deque<std::unique_ptr<TESForm>> others;
    std::deque<std::unique_ptr<SimTint>> tints;
    std::deque<std::unique_ptr<SimNode>> nodes;
    std::unique_ptr<SimPlayer> player;
    std::unique_ptr<SimCamera> camera;
    int modelUpdates = 0;
};

World& W() {
    static World* w = new World();  // never destroyed: the game outlives everything
    return *w;
}

std::deque<std::string>& Pool() {
    static auto* p = new std::deque<std::string>();
    return *p;
}
std::unordered_map<std::string, const char*>& PoolIndex() {
    static auto* p = new std::unordered_map<std::string, const char*>();
    return *p;
}

SimNpc* AsSimNpc(TESNPC* npc) { return reinterpret_cast<SimNpc*>(npc); }
SimNode* AsSimNode(NiAVObject* n) { return reinterpret_cast<SimNode*>(n); }

void SyncChildren(SimNode* n) {
    n->node.m_children.data = n->children.empty() ? nullptr : n->children.data();
    n->node.m_children.capacity = static_cast<uint16_t>(n->children.size());
    n->node.m_children.emptyRunStart = static_cast<uint16_t>(n->children.size());
    uint16_t filled = 0;
    for (NiAVObject* c : n->children) filled += c != nullptr;
    n->node.m_children.filledCount = filled;
}

void Compose(const NiTransform& parent, const NiTransform& local, NiTransform& out) {
    NiTransform r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float s = 0;
            for (int k = 0; k < 3; ++k) s += parent.rot.data[i][k] * local.rot.data[k][j];
            r.rot.data[i][j] = s;
        }
    const float p[3] = {local.pos.x * parent.scale, local.pos.y * parent.scale, local.pos.z * parent.scale};
    float q[3];
    for (int i = 0; i < 3; ++i)
        q[i] = parent.rot.data[i][0] * p[0] + parent.rot.data[i][1] * p[1] + parent.rot.data[i][2] * p[2];
    r.pos = {q[0] + parent.pos.x, q[1] + parent.pos.y, q[2] + parent.pos.z};
    r.scale = parent.scale * local.scale;
    out = r;
}

void UpdateSubtree(NiAVObject* obj) {
    if (!obj) return;
    if (obj->m_parent)
        Compose(obj->m_parent->av.m_worldTransform, obj->m_localTransform, obj->m_worldTransform);
    else
        obj->m_worldTransform = obj->m_localTransform;
    SimNode* n = AsSimNode(obj);
    for (NiAVObject* c : n->children) UpdateSubtree(c);
}

NiAVObject* FindByName(NiAVObject* obj, const char* name) {
    if (!obj) return nullptr;
    if (obj->m_name && std::strcmp(obj->m_name, name) == 0) return obj;
    for (NiAVObject* c : AsSimNode(obj)->children)
        if (NiAVObject* hit = FindByName(c, name)) return hit;
    return nullptr;
}

// ----- Patched call site ------------------------------------------------------------------------

constexpr int32_t kFormerDisplacement = 0x205F35;
uint8_t* g_callSite = nullptr;
int g_formerCalls = 0;

bool FormerRoutine(void*, void*, void*, BSFixedString*) {
    ++g_formerCalls;
    return false;
}

void InitialBytes(uint8_t* p) {
    p[0] = 0xE8;
    std::memcpy(p + 1, &kFormerDisplacement, 4);
}

// The site lives within reach of a 32-bit displacement from the code that patches it, as in
// the game, so that the displacement written is exact.
uint8_t* MapNear(uintptr_t anchor) {
    const long page = 4096;
    for (int k = 1; k < 256; ++k) {
        for (int sign = -1; sign <= 1; sign += 2) {
            intptr_t delta = static_cast<intptr_t>(sign) * k * (16 << 20);
            uintptr_t hint = (anchor + delta) & ~static_cast<uintptr_t>(page - 1);
#ifdef _WIN32
            void* p = VirtualAlloc(reinterpret_cast<void*>(hint), page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
            if (!p) continue;
#else
            void* p = mmap(reinterpret_cast<void*>(hint), page, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) continue;
#endif
            intptr_t diff = reinterpret_cast<intptr_t>(p) - static_cast<intptr_t>(anchor);
            if (diff > -(1LL << 30) && diff < (1LL << 30)) return static_cast<uint8_t*>(p);
#ifdef _WIN32
            VirtualFree(p, 0, MEM_RELEASE);
#else
            munmap(p, page);
#endif
        }
    }
    return nullptr;
}

}  // namespace

// ===== Engine operations ===========================================================================

PlayerCharacter* PlayerSingleton() { return W().player ? &W().player->rec : nullptr; }

PlayerCamera* PlayerCameraSingleton() { return W().camera ? &W().camera->rec : nullptr; }

const void* TypeDescriptor_BaseForm() { return &kDescBaseForm; }
const void* TypeDescriptor_NpcForm() { return &kDescNpc; }
const void* TypeDescriptor_Reference() { return &kDescReference; }
const void* TypeDescriptor_Player() { return &kDescPlayer; }

void* RuntimeDynamicCast(void* object, uint32_t, const void* from, const void* to, uint32_t) {
    if (!object) return nullptr;
    const void* tag = static_cast<TESForm*>(object)->vtbl;
    bool isForm = tag == &kTagRace || tag == &kTagNpc || tag == &kTagHeadPart || tag == &kTagColor ||
                  tag == &kTagOther || tag == &kTagReference || tag == &kTagPlayer;
    if (!isForm) return nullptr;
    (void)from;
    if (to == &kDescNpc) return tag == &kTagNpc ? object : nullptr;
    if (to == &kDescPlayer) return tag == &kTagPlayer ? object : nullptr;
    if (to == &kDescReference) return (tag == &kTagPlayer || tag == &kTagReference) ? object : nullptr;
    if (to == &kDescBaseForm) return object;
    return nullptr;
}

int8_t NpcForm_GetSex(TESNPC* npc) { return AsSimNpc(npc)->sex; }

void QueueModelUpdate(PlayerCharacter*, bool) { ++W().modelUpdates; }

TintMask* Player_GetTintMask(PlayerCharacter* player, uint32_t tintType, uint32_t index) {
    tArray<TintMask*>& list = player->tintMasks;
    uint32_t seen = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        TintMask* m = list.entries[i];
        if (m && m->tintType == tintType) {
            if (seen == index) return m;
            ++seen;
        }
    }
    return nullptr;
}

uint32_t Player_CountTintMasks(PlayerCharacter* player, uint32_t tintType) {
    tArray<TintMask*>& list = player->tintMasks;
    uint32_t n = 0;
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.entries[i] && list.entries[i]->tintType == tintType) ++n;
    return n;
}

void FixedString_Construct(BSFixedString* str, const char* text) { str->data = sim::Intern(text ? text : ""); }
void FixedString_Set(BSFixedString* str, const char* text) { str->data = sim::Intern(text ? text : ""); }
void FixedString_Release(BSFixedString* str) { str->data = nullptr; }

NiNode* Reference_GetRoot3D(TESObjectREFR* ref) {
    if (W().player && ref == &W().player->rec.ref) return W().player->root3D;
    return nullptr;
}

NiAVObject* Node_GetObjectByName(NiAVObject* root, BSFixedString* name) {
    if (!root || !name || !name->data) return nullptr;
    return FindByName(root, name->data);
}

void Node_UpdateWorldData(NiAVObject* node, ControllerUpdateContext*) { UpdateSubtree(node); }

float PlayerCamera_GetBaseFov(PlayerCamera* camera) {
    return reinterpret_cast<SimCamera*>(camera)->baseFov;
}

uint8_t* HookedCallSite() {
    if (!g_callSite) {
        g_callSite = MapNear(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
        if (!g_callSite) {
            std::fprintf(stderr, "sim: cannot map the call site\n");
            std::abort();
        }
        InitialBytes(g_callSite);
    }
    return g_callSite;
}

HookedRoutineFn HookedCall_FormerTarget() { return &FormerRoutine; }

int32_t HookedCall_FormerDisplacement() { return kFormerDisplacement; }

// ===== Builder API =================================================================================

namespace sim {

void ResetWorld() {
    World& w = W();
    w.player.reset();
    w.camera.reset();
    w.races.clear();
    w.headParts.clear();
    w.colors.clear();
    w.npcs.clear();
    w.others.clear();
    w.tints.clear();
    w.nodes.clear();
    w.modelUpdates = 0;
    g_formerCalls = 0;
    ClearLoadedMorphData();
}

const char* Intern(const std::string& text) {
    auto it = PoolIndex().find(text);
    if (it != PoolIndex().end()) return it->second;
    Pool().push_back(text);
    const char* p = Pool().back().c_str();
    PoolIndex().emplace(text, p);
    return p;
}

TESRace* AddRace(const std::string& editorId, const std::string& displayName) {
    auto r = std::make_unique<TESRace>();
    r->form.vtbl = const_cast<Tag*>(&kTagRace);
    r->fullName.name.data = Intern(displayName);
    r->editorId.data = Intern(editorId);
    W().races.push_back(std::move(r));
    return W().races.back().get();
}

BGSHeadPart* AddHeadPart(uint32_t type, const std::string& name, const std::string& morphPath) {
    auto p = std::make_unique<BGSHeadPart>();
    p->form.vtbl = const_cast<Tag*>(&kTagHeadPart);
    p->type = type;
    p->partName.data = Intern(name);
    p->fullName.name.data = Intern(name);
    p->chargenMorph.name.data = morphPath.empty() ? nullptr : Intern(morphPath);
    W().headParts.push_back(std::move(p));
    return W().headParts.back().get();
}

BGSColorForm* AddColorForm(uint8_t r, uint8_t g, uint8_t b) {
    auto c = std::make_unique<BGSColorForm>();
    c->form.vtbl = const_cast<Tag*>(&kTagColor);
    c->red = r;
    c->green = g;
    c->blue = b;
    W().colors.push_back(std::move(c));
    return W().colors.back().get();
}

TESNPC* AddNpc(int8_t sex) {
    auto n = std::make_unique<SimNpc>();
    n->rec.form.vtbl = const_cast<Tag*>(&kTagNpc);
    n->sex = sex;
    n->rec.faceMorph = &n->morphs;
    W().npcs.push_back(std::move(n));
    return &W().npcs.back()->rec;
}

void Npc_SetSex(TESNPC* npc, int8_t sex) { AsSimNpc(npc)->sex = sex; }

void Npc_AddHeadPart(TESNPC* npc, BGSHeadPart* part) {
    SimNpc* n = AsSimNpc(npc);
    if (n->parts.size() >= 255) return;  // the count is one byte
    n->parts.push_back(part);
    n->rec.headparts = n->parts.data();
    n->rec.numHeadParts = static_cast<uint8_t>(n->parts.size());
}

void Npc_SetHairColor(TESNPC* npc, BGSColorForm* color) {
    SimNpc* n = AsSimNpc(npc);
    if (!color) {
        n->rec.headData = nullptr;
        return;
    }
    n->headData.hairColor = color;
    n->rec.headData = &n->headData;
}

void Npc_RemoveFaceMorphs(TESNPC* npc) { npc->faceMorph = nullptr; }

TESForm* AddOtherForm() {
    auto f = std::make_unique<TESForm>();
    f->vtbl = const_cast<Tag*>(&kTagOther);
    W().others.push_back(std::move(f));
    return W().others.back().get();
}

PlayerCharacter* CreatePlayer(TESForm* baseForm, TESRace* race, bool isPlayerType) {
    auto p = std::make_unique<SimPlayer>();
    p->rec.ref.form.vtbl = const_cast<Tag*>(isPlayerType ? &kTagPlayer : &kTagReference);
    p->rec.ref.baseForm = baseForm;
    p->rec.race = race;
    p->rec.overlayTintMasks = nullptr;
    W().player = std::move(p);
    return &W().player->rec;
}

void RemovePlayer() { W().player.reset(); }

PlayerCharacter* Player() { return PlayerSingleton(); }

TintMask* AddTint(bool second, uint32_t type, bool hasTexture, const std::string& texturePath, uint8_t r,
                  uint8_t g, uint8_t b, float alpha) {
    SimPlayer* p = W().player.get();
    if (!p) return nullptr;
    auto t = std::make_unique<SimTint>();
    t->mask.tintType = type;
    t->mask.red = r;
    t->mask.green = g;
    t->mask.blue = b;
    t->mask.alpha = alpha;
    if (hasTexture) {
        t->texture.str.data = Intern(texturePath);
        t->mask.texture = &t->texture;
    }
    TintMask* m = &t->mask;
    W().tints.push_back(std::move(t));
    if (second) {
        p->secondTints.push_back(m);
        p->secondList.entries = p->secondTints.data();
        p->secondList.count = p->secondList.capacity = static_cast<uint32_t>(p->secondTints.size());
        p->rec.overlayTintMasks = &p->secondList;
    } else {
        p->tints.push_back(m);
        p->rec.tintMasks.entries = p->tints.data();
        p->rec.tintMasks.count = p->rec.tintMasks.capacity = static_cast<uint32_t>(p->tints.size());
    }
    return m;
}

NiNode* AddNode(NiNode* parent, const std::string& name, const TransformSpec& local) {
    auto n = std::make_unique<SimNode>();
    n->node.av.vtbl = const_cast<Tag*>(&kTagNode);
    n->node.av.refCount = 1;
    n->node.av.m_name = name.empty() ? nullptr : Intern(name);
    NiTransform& t = n->node.av.m_localTransform;
    t.pos = {local.translate[0], local.translate[1], local.translate[2]};
    for (int i = 0; i < 9; ++i) t.rot.data[i / 3][i % 3] = local.rotate[i];
    t.scale = local.scale;
    n->node.av.m_parent = parent;
    NiNode* node = &n->node;
    W().nodes.push_back(std::move(n));
    if (parent) {
        SimNode* sp = AsSimNode(&parent->av);
        sp->children.push_back(&node->av);
        SyncChildren(sp);
    }
    UpdateSubtree(&node->av);
    return node;
}

void AddEmptyChildSlot(NiNode* parent) {
    SimNode* sp = AsSimNode(&parent->av);
    sp->children.push_back(nullptr);
    SyncChildren(sp);
}

void Node_SetEmptyRunStart(NiNode* parent, uint16_t start) { parent->m_children.emptyRunStart = start; }

void UpdateTree(NiNode* root) { UpdateSubtree(&root->av); }

void Player_SetRoot3D(NiNode* root) {
    if (W().player) W().player->root3D = root;
}

void Player_SetLoaded3D(NiNode* root) {
    SimPlayer* p = W().player.get();
    if (!p) return;
    if (root) {
        p->loaded.node = root;
        p->rec.ref.loadedState = &p->loaded;
    } else {
        p->rec.ref.loadedState = nullptr;
    }
}

std::vector<NiNode*> AllNodes() {
    std::vector<NiNode*> out;
    for (auto& n : W().nodes) out.push_back(&n->node);
    return out;
}

PlayerCamera* CreateCamera(float currentFov, float baseFov) {
    auto c = std::make_unique<SimCamera>();
    c->rec.worldFOV = currentFov;
    c->rec.firstPersonFOV = currentFov;
    c->baseFov = baseFov;
    W().camera = std::move(c);
    return &W().camera->rec;
}

void Camera_SetRoot(NiNode* root) {
    if (W().camera) W().camera->rec.cameraNode = root;
}

int ModelUpdateCount() { return W().modelUpdates; }

std::array<uint8_t, 5> CallSiteBytes() {
    std::array<uint8_t, 5> out{};
    if (g_callSite)
        std::memcpy(out.data(), g_callSite, 5);
    else
        InitialBytes(out.data());
    return out;
}

void* CallSiteTarget() {
    if (!g_callSite || g_callSite[0] != 0xE8) return nullptr;
    int32_t disp;
    std::memcpy(&disp, g_callSite + 1, 4);
    if (disp == kFormerDisplacement) return nullptr;
    return g_callSite + 5 + disp;
}

bool RunHookedRoutine(const char* text) {
    BSFixedString handle{text};
    void* target = CallSiteTarget();
    if (!target) return FormerRoutine(nullptr, nullptr, nullptr, &handle);
    return reinterpret_cast<HookedRoutineFn>(target)(nullptr, nullptr, nullptr, &handle);
}

int FormerRoutineCalls() { return g_formerCalls; }

void SetCallSiteBytes(const std::array<uint8_t, 5>& bytes) { std::memcpy(HookedCallSite(), bytes.data(), 5); }

void RestoreCallSite() {
    if (g_callSite) InitialBytes(g_callSite);
}

}  // namespace sim
