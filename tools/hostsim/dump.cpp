#include "tools/hostsim/dump.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "game/engine.h"
#include "game/sim/sim.h"
#include "game/sim/sim_morphdata.h"
#include "os/os.h"
#include "tools/hostsim/capture.h"
#include "tools/hostsim/values.h"

namespace hostsim {

namespace {

Json Text(const char* s) { return s ? Json(s) : Json(nullptr); }

Json Rgb(uint8_t r, uint8_t g, uint8_t b) { return Json::array({r, g, b}); }

Json NodeName(const NiAVObject* n) { return n ? Text(n->m_name) : Json(nullptr); }

Json TransformJson(const NiTransform& t) {
    Json rot = Json::array();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) rot.push_back(FloatJson(t.rot.data[r][c]));
    return {{"translate", Json::array({FloatJson(t.pos.x), FloatJson(t.pos.y), FloatJson(t.pos.z)})},
            {"rotate", rot},
            {"scale", FloatJson(t.scale)}};
}

Json NodeJson(const NiNode* node, int depth) {
    Json out = {{"name", Text(node->av.m_name)},
                {"local", TransformJson(node->av.m_localTransform)},
                {"world", TransformJson(node->av.m_worldTransform)}};
    const NiTArray_AVObject& kids = node->m_children;
    if (kids.capacity > 0 && kids.data) {
        Json children = Json::array();
        for (uint16_t i = 0; i < kids.capacity; ++i) {
            const NiAVObject* c = kids.data[i];
            if (!c)
                children.push_back(nullptr);
            else if (depth > 256)
                children.push_back({{"$tooDeep", true}});
            else
                children.push_back(NodeJson(reinterpret_cast<const NiNode*>(c), depth + 1));
        }
        out["children"] = children;
    }
    return out;
}

Json TintsJson(const tArray<TintMask*>& list) {
    Json out = Json::array();
    for (uint32_t i = 0; i < list.count; ++i) {
        const TintMask* m = list.entries[i];
        if (!m) {
            out.push_back(nullptr);
            continue;
        }
        out.push_back({{"type", m->tintType},
                       {"texture", m->texture ? Text(m->texture->str.data) : Json(nullptr)},
                       {"color", Rgb(m->red, m->green, m->blue)},
                       {"alpha", FloatJson(m->alpha)}});
    }
    return out;
}

Json NpcJson(TESNPC* npc) {
    Json parts = Json::array();
    for (uint32_t i = 0; i < npc->numHeadParts; ++i) {
        const BGSHeadPart* p = npc->headparts[i];
        if (!p) {
            parts.push_back(nullptr);
            continue;
        }
        parts.push_back({{"type", p->type}, {"name", Text(p->partName.data)}, {"morph", Text(p->chargenMorph.name.data)}});
    }
    Json face = nullptr;
    if (npc->faceMorph) {
        Json options = Json::array(), presets = Json::array();
        for (float f : npc->faceMorph->option) options.push_back(FloatJson(f));
        for (int32_t p : npc->faceMorph->presets) presets.push_back(p);
        face = {{"options", options}, {"presets", presets}};
    }
    Json hair = nullptr;
    if (npc->headData && npc->headData->hairColor) {
        const BGSColorForm* c = npc->headData->hairColor;
        hair = Rgb(c->red, c->green, c->blue);
    }
    return {{"sex", NpcForm_GetSex(npc)},
            {"headParts", parts},
            {"faceMorph", face},
            {"hairColor", hair},
            {"skinColor", Rgb(npc->skinColorRed, npc->skinColorGreen, npc->skinColorBlue)}};
}

Json PlayerJson() {
    PlayerCharacter* player = PlayerSingleton();
    if (!player) return nullptr;
    Json out = Json::object();
    out["isPlayerType"] =
        RuntimeDynamicCast(player, 0, TypeDescriptor_Reference(), TypeDescriptor_Player(), 0) != nullptr;
    TESRace* race = Player_Race(player);
    out["race"] = race ? Json{{"editorId", Text(race->editorId.data)}, {"name", Text(race->fullName.name.data)}}
                       : Json(nullptr);
    auto* npc = static_cast<TESNPC*>(
        RuntimeDynamicCast(Reference_BaseForm(player), 0, TypeDescriptor_BaseForm(), TypeDescriptor_NpcForm(), 0));
    out["npc"] = npc ? NpcJson(npc) : Json(nullptr);
    out["tints"] = TintsJson(*Player_TintList(player));
    tArray<TintMask*>* second = Player_SecondTintList(player);
    out["secondTints"] = second ? TintsJson(*second) : Json(nullptr);
    out["root3D"] = NodeName(Reference_GetRoot3D(&player->ref) ? &Reference_GetRoot3D(&player->ref)->av : nullptr);
    NiNode* loaded = Player_Loaded3DRoot(player);
    out["loaded3D"] = loaded ? NodeName(&loaded->av) : Json(nullptr);
    return out;
}

Json CameraJson() {
    PlayerCamera* camera = PlayerCameraSingleton();
    if (!camera) return nullptr;
    return {{"fov", FloatJson(camera->worldFOV)},
            {"firstPersonFov", FloatJson(camera->firstPersonFOV)},
            {"baseFov", FloatJson(PlayerCamera_GetBaseFov(camera))},
            {"root", camera->cameraNode ? NodeName(&camera->cameraNode->av) : Json(nullptr)}};
}

// FNV-1a 64 of the delta bytes, little-endian as a .tri file holds them.
std::string DeltaDigest(const int16_t* deltas, size_t values) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t k = 0; deltas && k < values; ++k) {
        const auto v = static_cast<uint16_t>(deltas[k]);
        for (uint8_t byte : {static_cast<uint8_t>(v & 0xff), static_cast<uint8_t>(v >> 8)}) {
            h ^= byte;
            h *= 0x100000001b3ull;
        }
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

const char* ListName(sim::LoadedList l) { return l == sim::LoadedList::Array ? "array" : "table"; }
const char* FlawName(sim::EntryFlaw f) {
    switch (f) {
        case sim::EntryFlaw::FreeEntry: return "freeEntry";
        case sim::EntryFlaw::NotTri: return "notTri";
        case sim::EntryFlaw::NoMorphSet: return "noMorphSet";
        default: return "none";
    }
}

// What the game's records hold now, after anything the plug-in wrote.
Json MorphDataJson(bool withDeltas) {
    Json out = Json::array();
    for (sim::LoadedMorphData* d : sim::AllLoadedMorphData()) {
        const MorphSet* set = sim::MorphData_Set(d);
        Json morphs = Json::array(), digests = Json::array();
        for (uint32_t i = 0; i < set->morphData.count; ++i) {
            const MorphRecord& m = set->morphData.entries[i];
            // The sim's buffers hold the larger count; the digest covers what both counts name.
            const size_t values = static_cast<size_t>(std::min(m.diffVertexNum, m.baseVertexNum)) * 3;
            size_t nonZero = 0;
            for (size_t k = 0; m.diffData && k < values; ++k) nonZero += m.diffData[k] != 0;
            Json j = {{"name", Text(m.name)},
                      {"scale", FloatJson(m.baseDiff)},
                      {"vertexCounts", Json::array({m.diffVertexNum, m.baseVertexNum})},
                      {"nonZeroDeltas", nonZero}};
            digests.push_back(DeltaDigest(m.diffData, values));
            if (withDeltas) {
                Json deltas = Json::array();
                for (size_t k = 0; m.diffData && k < values; ++k) deltas.push_back(m.diffData[k]);
                j["deltas"] = deltas;
            }
            morphs.push_back(j);
        }
        out.push_back({{"path", Text(set->fileName)},
                       {"list", ListName(sim::MorphData_List(d))},
                       {"flaw", FlawName(sim::MorphData_Flaw(d))},
                       {"morphs", morphs},
                       {"deltaDigests", digests}});
    }
    return out;
}

std::string RealPath(const std::string& p) {
    char buf[PATH_MAX];
    return realpath(p.c_str(), buf) ? std::string(buf) : p;
}

Json CallSiteJson(const std::string& pluginPath) {
    std::array<uint8_t, 5> bytes = sim::CallSiteBytes();
    std::string hex;
    for (uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof(buf), "%s%02X", hex.empty() ? "" : " ", b);
        hex += buf;
    }
    void* target = sim::CallSiteTarget();
    Json out = {{"bytes", hex}};
    if (!target) {
        out["target"] = "former routine";
        out["targetInPlugin"] = false;
        return out;
    }
    Dl_info info{};
    std::string file = dladdr(target, &info) && info.dli_fname ? RealPath(info.dli_fname) : std::string();
    bool inPlugin = !file.empty() && file == RealPath(pluginPath);
    out["target"] = inPlugin ? "plug-in" : "elsewhere";
    out["targetInPlugin"] = inPlugin;
    out["targetFile"] = file.empty() ? Json(nullptr) : Json(file);
    return out;
}

// The files of the slot folder below the documents folder, by name, with their lines; the
// folder is found as the plug-in finds it (letter case ignored).
Json SlotFilesJson() {
    const std::string documents = os::DocumentsFolder();
    if (documents.empty()) return {{"folder", nullptr}, {"files", Json::array()}};
    const std::string folder = documents + "\\My Games\\Skyrim\\VTR_save";
    std::vector<os::DirEntry> entries;
    os::ListDirectory(folder + "\\*", entries);
    std::sort(entries.begin(), entries.end(),
              [](const os::DirEntry& a, const os::DirEntry& b) { return a.name < b.name; });
    Json files = Json::array();
    for (const os::DirEntry& e : entries) {
        if (e.isDirectory) {
            files.push_back({{"name", e.name}, {"isFolder", true}});
            continue;
        }
        std::ifstream in(os::ResolvePath(folder + "\\" + e.name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        files.push_back({{"name", e.name}, {"lines", SplitLines(text.str())}});
    }
    return {{"folder", os::ResolvePath(folder)}, {"files", files}};
}

}  // namespace

Json DumpWorld(const std::string& pluginPath, bool withDeltas) {
    Json nodes = Json::array();
    for (NiNode* n : sim::AllNodes())
        if (!n->av.m_parent) nodes.push_back(NodeJson(n, 0));
    return {{"player", PlayerJson()},
            {"nodes", nodes},
            {"camera", CameraJson()},
            {"loadedMorphData", MorphDataJson(withDeltas)},
            {"modelUpdates", sim::ModelUpdateCount()},
            {"callSite", CallSiteJson(pluginPath)},
            {"formerRoutineCalls", sim::FormerRoutineCalls()},
            {"liveHeapAllocations", sim::LiveHeapAllocations()},
            {"liveManagedValues", sim::LiveManagedValues()},
            {"slotFiles", SlotFilesJson()}};
}

}  // namespace hostsim
