// The simulated game's store of loaded morph data.
#include "game/sim/sim_morphdata.h"

#include <strings.h>

#include <algorithm>
#include <deque>
#include <memory>

namespace {

struct SimMorphData {
    sim::LoadedMorphData rec{};
    std::vector<sim::LoadedMorph> morphs;
    std::deque<std::vector<int16_t>> deltas;  // one buffer per morph; a deque keeps them in place
};

std::deque<std::unique_ptr<SimMorphData>>& Store() {
    static auto* s = new std::deque<std::unique_ptr<SimMorphData>>();  // the game outlives everything
    return *s;
}

SimMorphData* AsSim(sim::LoadedMorphData* data) { return reinterpret_cast<SimMorphData*>(data); }

}  // namespace

namespace sim {

LoadedMorphData* AddLoadedMorphData(const std::string& path) {
    auto d = std::make_unique<SimMorphData>();
    d->rec.path = Intern(path);
    Store().push_back(std::move(d));
    return &Store().back()->rec;
}

LoadedMorph* MorphData_AddMorph(LoadedMorphData* data, const std::string& name, uint32_t diffVertexNum,
                                uint32_t baseVertexNum, float scale) {
    if (!data) return nullptr;
    // The deltas must hold every vertex either count claims, or a writer trusting them overruns.
    uint32_t vertices = std::max(diffVertexNum, baseVertexNum);
    if (vertices > kMaxLoadedMorphVertices) return nullptr;
    SimMorphData* d = AsSim(data);
    d->deltas.emplace_back(static_cast<size_t>(vertices) * 3, int16_t{0});
    LoadedMorph m{};
    m.name = Intern(name);
    m.deltas = d->deltas.back().empty() ? nullptr : d->deltas.back().data();
    m.scale = scale;
    m.diffVertexNum = diffVertexNum;
    m.baseVertexNum = baseVertexNum;
    d->morphs.push_back(m);
    d->rec.morphs = d->morphs.data();
    d->rec.morphCount = static_cast<int32_t>(d->morphs.size());
    return &d->morphs.back();
}

std::vector<LoadedMorphData*> AllLoadedMorphData() {
    std::vector<LoadedMorphData*> out;
    for (auto& d : Store()) out.push_back(&d->rec);
    return out;
}

LoadedMorphData* FindLoadedMorphDataByPath(const std::string& path) {
    for (auto& d : Store())
        if (d->rec.path && strcasecmp(d->rec.path, path.c_str()) == 0) return &d->rec;
    return nullptr;
}

void ClearLoadedMorphData() { Store().clear(); }

}  // namespace sim
