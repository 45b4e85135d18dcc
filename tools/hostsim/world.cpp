// One function per section of the world file; a new world feature is a new key in the
// section table (or in the player's) and a function that reads it.
#include "tools/hostsim/world.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "game/sim/sim.h"
#include "game/sim/sim_morphdata.h"
#include "os/os.h"

namespace hostsim {

namespace {

struct Context {
    std::string worldDir;
    WorldBuild out;
};

// ----- Small values ------------------------------------------------------------------------------

uint8_t ReadByte(const In& in) { return static_cast<uint8_t>(in.Integer(0, 255)); }

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

Rgb ReadRgb(const In& in) {
    std::vector<In> c = in.Array(3);
    return {ReadByte(c[0]), ReadByte(c[1]), ReadByte(c[2])};
}

// "male", "female", "none" or the game's signed byte (negative: none).
int8_t ReadSex(const In& in) {
    if (in.Raw().is_string()) {
        std::string s = in.String();
        if (s == "male") return 0;
        if (s == "female") return 1;
        if (s == "none") return -1;
        in.Fail("expected \"male\", \"female\", \"none\" or an integer from -128 to 127");
    }
    return static_cast<int8_t>(in.Integer(-128, 127));
}

// ----- Scene nodes -------------------------------------------------------------------------------

// Deeper trees than any skeleton are refused rather than recursed into.
constexpr int kMaxNodeDepth = 256;
// The game's child array counts in 16 bits.
constexpr size_t kMaxChildSlots = 65535;

NiNode* BuildNode(const In& in, NiNode* parent, int depth = 0) {
    if (depth > kMaxNodeDepth) in.Fail("nodes nested more than " + std::to_string(kMaxNodeDepth) + " deep");
    ObjectIn o = in.Object();
    In nameIn = o.Required("name");
    std::string name = nameIn.IsNull() ? std::string() : nameIn.String();
    sim::TransformSpec t;
    if (auto v = o.Optional("translate")) {
        std::vector<In> a = v->Array(3);
        for (int i = 0; i < 3; ++i) t.translate[i] = a[i].Float();
    }
    if (auto v = o.Optional("rotate")) {
        std::vector<In> a = v->Array(9);
        for (int i = 0; i < 9; ++i) t.rotate[i] = a[i].Float();
    }
    if (auto v = o.Optional("scale")) t.scale = v->Float();
    std::optional<In> children = o.Optional("children");
    o.Done();

    NiNode* node = sim::AddNode(parent, name, t);
    if (children) {
        std::vector<In> slots = children->Array();
        if (slots.size() > kMaxChildSlots)
            children->Fail("at most " + std::to_string(kMaxChildSlots) + " child slots (the game counts them in 16 bits)");
        for (const In& c : slots) {
            if (c.IsNull())
                sim::AddEmptyChildSlot(node);
            else
                BuildNode(c, node, depth + 1);
        }
    }
    return node;
}

NiNode* FindNode(NiNode* root, const std::string& name) {
    BSFixedString key{sim::Intern(name)};
    return reinterpret_cast<NiNode*>(Node_GetObjectByName(&root->av, &key));
}

// ----- Player ------------------------------------------------------------------------------------

TESRace* BuildRace(const In& in) {
    if (in.IsNull()) return nullptr;
    ObjectIn o = in.Object();
    std::string editorId = o.Required("editorId").String();
    std::string name = o.Required("name").String();
    o.Done();
    return sim::AddRace(editorId, name);
}

void BuildHeadParts(const In& in, TESNPC* npc) {
    std::vector<In> parts = in.Array();
    if (parts.size() > 255) in.Fail("at most 255 head parts (the game keeps an 8-bit count)");
    for (const In& p : parts) {
        if (p.IsNull()) {
            sim::Npc_AddHeadPart(npc, nullptr);
            continue;
        }
        ObjectIn o = p.Object();
        auto type = static_cast<uint32_t>(o.Required("type").Integer(0, UINT32_MAX));
        std::string name = o.HasValue("name") ? o.Required("name").String() : std::string();
        std::string morph = o.HasValue("morph") ? o.Required("morph").String() : std::string();
        o.Done();
        sim::Npc_AddHeadPart(npc, sim::AddHeadPart(type, name, morph));
    }
}

void BuildFaceMorph(const In& in, TESNPC* npc) {
    if (in.IsNull()) {
        sim::Npc_RemoveFaceMorphs(npc);
        return;
    }
    ObjectIn o = in.Object();
    if (auto v = o.Optional("options")) {
        std::vector<In> a = v->Array(19);
        for (size_t i = 0; i < a.size(); ++i) npc->faceMorph->option[i] = a[i].Float();
    }
    if (auto v = o.Optional("presets")) {
        std::vector<In> a = v->Array(4);
        for (size_t i = 0; i < a.size(); ++i)
            npc->faceMorph->presets[i] = static_cast<int32_t>(a[i].Integer(INT32_MIN, INT32_MAX));
    }
    o.Done();
}

TESForm* BuildNpc(const In& in) {
    if (in.IsNull()) return sim::AddOtherForm();
    ObjectIn o = in.Object();
    int8_t sex = o.Has("sex") ? ReadSex(o.Required("sex")) : 0;
    TESNPC* npc = sim::AddNpc(sex);
    if (auto v = o.Optional("headParts")) BuildHeadParts(*v, npc);
    if (auto v = o.Optional("faceMorph")) BuildFaceMorph(*v, npc);
    if (auto v = o.Optional("hairColor"); v && !v->IsNull()) {
        Rgb c = ReadRgb(*v);
        sim::Npc_SetHairColor(npc, sim::AddColorForm(c.r, c.g, c.b));
    }
    if (auto v = o.Optional("skinColor")) {
        Rgb c = ReadRgb(*v);
        npc->skinColorRed = c.r;
        npc->skinColorGreen = c.g;
        npc->skinColorBlue = c.b;
    }
    o.Done();
    return &npc->form;
}

void BuildTints(const In& in, bool second) {
    for (const In& t : in.Array()) {
        ObjectIn o = t.Object();
        auto type = static_cast<uint32_t>(o.Required("type").Integer(0, UINT32_MAX));
        bool hasTexture = o.HasValue("texture");
        std::string texture = hasTexture ? o.Required("texture").String() : std::string();
        Rgb c = o.Has("color") ? ReadRgb(o.Required("color")) : Rgb{};
        float alpha = o.Has("alpha") ? o.Required("alpha").Float() : 1.0f;
        o.Done();
        sim::AddTint(second, type, hasTexture, texture, c.r, c.g, c.b, alpha);
    }
}

void BuildSkeleton(const In& in) {
    ObjectIn o = in.Object();
    NiNode* root = BuildNode(o.Required("root"), nullptr);

    NiNode* root3D = root;
    if (auto v = o.Optional("root3D")) {
        if (v->IsNull()) {
            root3D = nullptr;
        } else {
            root3D = FindNode(root, v->String());
            if (!root3D) v->Fail("no node of this name in the skeleton");
        }
    }
    NiNode* loaded = root3D;
    if (auto v = o.Optional("loaded3D")) {
        if (v->Raw().is_boolean()) {
            loaded = v->Bool() ? root3D : nullptr;
        } else if (v->IsNull()) {
            loaded = nullptr;
        } else {
            if (!v->Raw().is_string()) v->Fail("expected a boolean or a node name");
            loaded = FindNode(root, v->String());
            if (!loaded) v->Fail("no node of this name in the skeleton");
        }
    }
    o.Done();
    sim::Player_SetRoot3D(root3D);
    sim::Player_SetLoaded3D(loaded);
}

void BuildPlayer(const In& in, Context&) {
    if (in.IsNull()) return;
    ObjectIn o = in.Object();
    bool isPlayerType = o.Has("isPlayerType") ? o.Required("isPlayerType").Bool() : true;
    TESRace* race = nullptr;
    if (auto v = o.Optional("race")) race = BuildRace(*v);
    TESForm* base = nullptr;
    if (auto v = o.Optional("npc"))
        base = BuildNpc(*v);
    else
        base = &sim::AddNpc(0)->form;
    sim::CreatePlayer(base, race, isPlayerType);

    if (auto v = o.Optional("tints")) BuildTints(*v, false);
    if (auto v = o.Optional("secondTints"); v && !v->IsNull()) {
        // An empty list still exists (a non-null second list of count 0).
        if (v->Array().empty()) {
            sim::AddTint(true, 0, false, "", 0, 0, 0, 0);
            sim::Player()->overlayTintMasks->count = 0;
        } else {
            BuildTints(*v, true);
        }
    }
    if (auto v = o.Optional("skeleton")) BuildSkeleton(*v);
    o.Done();
}

// ----- Camera, loaded morph data, game folder ------------------------------------------------------

void BuildCamera(const In& in, Context&) {
    if (in.IsNull()) return;
    ObjectIn o = in.Object();
    float fov = o.Required("fov").Float();
    float baseFov = o.Has("baseFov") ? o.Required("baseFov").Float() : fov;
    sim::CreateCamera(fov, baseFov);
    if (auto v = o.Optional("root"); v && !v->IsNull()) sim::Camera_SetRoot(BuildNode(*v, nullptr));
    o.Done();
}

// A .tri file of the game folder read just far enough for what the game keeps loaded: each
// morph's name, scale and deltas. Bounds are checked against the file's size before each read.
class TriBytes {
public:
    explicit TriBytes(std::string bytes) : b_(std::move(bytes)) {}
    bool Has(uint64_t n) const { return at_ + n <= b_.size(); }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b_[at_ + static_cast<size_t>(i)]);
        at_ += 4;
        return v;
    }
    const char* Take(uint64_t n) {
        const char* p = b_.data() + at_;
        at_ += n;
        return p;
    }
    void Skip(uint64_t n) { at_ += n; }
    uint64_t At() const { return at_; }

private:
    std::string b_;
    uint64_t at_ = 0;
};

// The names of the morphs read; a missing file is no error when `ifPresent`.
std::set<std::string> LoadFromTri(const In& where, sim::LoadedMorphData* data, const std::string& triPath,
                                  bool ifPresent) {
    std::set<std::string> names;
    std::ifstream f(os::ResolvePath(triPath), std::ios::binary);
    if (!f && ifPresent) return names;
    if (!f) where.Fail("cannot open \"" + triPath + "\" in the game folder");
    std::stringstream ss;
    ss << f.rdbuf();
    TriBytes t(ss.str());
    auto bad = [&](const std::string& what) { where.Fail("\"" + triPath + "\": " + what); };
    if (!t.Has(64) || std::string(t.Take(8), 8) != "FRTRI003") bad("not a FRTRI003 file");
    const uint32_t vertices = t.U32(), triangles = t.U32();
    t.Skip(12);
    const uint32_t uvs = t.U32();
    t.Skip(4);
    const uint32_t morphs = t.U32();
    t.Skip(64 - 40);
    if (vertices > sim::kMaxLoadedMorphVertices) bad("too many vertices");
    const uint64_t geometry = uint64_t{vertices} * 12 + uint64_t{triangles} * 24 + uint64_t{uvs} * 8;
    if (!t.Has(geometry)) bad("cut short in its geometry");
    t.Skip(geometry);
    for (uint32_t i = 0; i < morphs; ++i) {
        if (!t.Has(4)) bad("cut short at morph " + std::to_string(i));
        const uint32_t length = t.U32();
        if (length == 0 || !t.Has(uint64_t{length} + 4 + uint64_t{vertices} * 6)) bad("cut short at morph " + std::to_string(i));
        const char* name = t.Take(length);
        const std::string text(name, strnlen(name, length));
        float scale;
        std::memcpy(&scale, t.Take(4), 4);
        names.insert(text);
        sim::LoadedMorph* m = sim::MorphData_AddMorph(data, text, vertices, vertices, scale);
        const char* deltas = t.Take(uint64_t{vertices} * 6);
        for (uint64_t k = 0; m && k < uint64_t{vertices} * 3; ++k)
            m->deltas[k] = static_cast<int16_t>(static_cast<uint8_t>(deltas[2 * k]) |
                                                (static_cast<uint8_t>(deltas[2 * k + 1]) << 8));
    }
    return names;
}

void BuildOneMorphData(const In& d) {
    ObjectIn o = d.Object();
    sim::LoadedList list = sim::LoadedList::Table;
    if (auto l = o.Optional("list")) {
        const std::string v = l->String();
        if (v == "array") list = sim::LoadedList::Array;
        else if (v != "table") l->Fail("expected \"table\" or \"array\"");
    }
    sim::EntryFlaw flaw = sim::EntryFlaw::None;
    if (auto fl = o.Optional("flaw")) {
        const std::string v = fl->String();
        if (v == "freeEntry") flaw = sim::EntryFlaw::FreeEntry;
        else if (v == "notTri") flaw = sim::EntryFlaw::NotTri;
        else if (v == "noMorphSet") flaw = sim::EntryFlaw::NoMorphSet;
        else if (v != "none") fl->Fail("expected \"none\", \"freeEntry\", \"notTri\" or \"noMorphSet\"");
    }
    sim::LoadedMorphData* data = sim::AddLoadedMorphData(o.Required("path").String(), list, flaw);
    std::set<std::string> fromFile;
    const bool ifPresent = o.Has("ifPresent") && o.Required("ifPresent").Bool();
    if (auto tri = o.Optional("fromTri")) fromFile = LoadFromTri(*tri, data, tri->String(), ifPresent);
    if (auto morphs = o.Optional("morphs")) {
        for (const In& m : morphs->Array()) {
            ObjectIn mo = m.Object();
            std::string name = mo.Required("name").String();
            const int64_t maxVertices = sim::kMaxLoadedMorphVertices;
            uint32_t diff = 0, base = 0;
            bool one = mo.Has("vertexCount"), two = mo.Has("vertexCounts");
            if (one == two) m.Fail("expected exactly one of \"vertexCount\" and \"vertexCounts\"");
            if (one) {
                diff = base = static_cast<uint32_t>(mo.Required("vertexCount").Integer(0, maxVertices));
            } else {
                std::vector<In> c = mo.Required("vertexCounts").Array(2);
                diff = static_cast<uint32_t>(c[0].Integer(0, maxVertices));
                base = static_cast<uint32_t>(c[1].Integer(0, maxVertices));
            }
            float scale = mo.Has("scale") ? mo.Required("scale").Float() : 1.0f;
            mo.Done();
            if (!fromFile.count(name)) sim::MorphData_AddMorph(data, name, diff, base, scale);
        }
    }
    o.Done();
}

// Built once the game folder is the current folder: "fromTri" reads files there.
void BuildLoadedMorphData(const In& in, Context& ctx) {
    in.Array();  // checked now, built later
    ctx.out.loadedMorphData = in.Raw();
}

void ReadGameFolder(const In& in, Context& ctx) {
    std::filesystem::path p(in.String());
    if (p.is_relative()) p = std::filesystem::path(ctx.worldDir) / p;
    ctx.out.gameFolder = p.lexically_normal().string();
}

using Section = std::function<void(const In&, Context&)>;

// Sections are built in this order whatever their order in the file.
const std::vector<std::pair<std::string, Section>>& Sections() {
    static const std::vector<std::pair<std::string, Section>> table = {
        {"gameFolder", ReadGameFolder},
        {"player", BuildPlayer},
        {"camera", BuildCamera},
        {"loadedMorphData", BuildLoadedMorphData},
    };
    return table;
}

}  // namespace

void BuildLoadedMorphData(const WorldBuild& world) {
    In section(world.loadedMorphData, "world.loadedMorphData");
    if (world.loadedMorphData.is_null()) return;
    for (const In& d : section.Array()) BuildOneMorphData(d);
}

WorldBuild BuildWorld(const Json& world, const std::string& worldDir) {
    sim::ResetWorld();
    sim::ClearLoadedMorphData();
    Context ctx;
    ctx.worldDir = worldDir;
    In root(world, "world");
    ObjectIn o = root.Object();
    for (const auto& [key, build] : Sections())
        if (auto v = o.Optional(key)) build(*v, ctx);
    o.Done();
    return ctx.out;
}

}  // namespace hostsim
