// The simulated game's store of loaded morph data and its two loaded-resource lists.
#include "game/sim/sim_morphdata.h"

#include <strings.h>

#include <algorithm>
#include <deque>
#include <memory>

#include "game/engine.h"

namespace {

struct SimMorphData {
    sim::LoadedMorphData rec{};
    std::vector<sim::LoadedMorph> morphs;
    std::deque<std::vector<int16_t>> deltas;  // one buffer per morph; a deque keeps them in place
    MorphSet set{};
    std::vector<MorphRecord> records;
    TriEntry entry{};
    sim::LoadedList list = sim::LoadedList::Table;
    sim::EntryFlaw flaw = sim::EntryFlaw::None;
};

struct Lists {
    std::deque<std::unique_ptr<SimMorphData>> all;
    FaceGenTriDatabase db{};
    std::vector<TriEntry*> slots;
    std::vector<TriEntry*> array;
};

Lists& L() {
    static auto* s = new Lists();  // the game outlives everything
    return *s;
}

TriEntry g_invalidEntry{};

SimMorphData* AsSim(sim::LoadedMorphData* data) { return reinterpret_cast<SimMorphData*>(data); }
const SimMorphData* AsSim(const sim::LoadedMorphData* data) { return reinterpret_cast<const SimMorphData*>(data); }

// The table as the game's hash table looks to a walker: an invalidated slot first, two
// entries chained per slot in the order added, free slots at the end. The array: the entries
// in order.
void RebuildLists() {
    Lists& l = L();
    l.slots.assign(1, &g_invalidEntry);
    l.array.clear();
    TriEntry* last = nullptr;
    size_t inChain = 0;
    for (auto& d : l.all) {
        d->entry.next = nullptr;
        if (d->list == sim::LoadedList::Array) {
            l.array.push_back(&d->entry);
            continue;
        }
        if (last && inChain < 2) {
            last->next = &d->entry;
            ++inChain;
        } else {
            l.slots.push_back(&d->entry);
            inChain = 1;
        }
        last = &d->entry;
    }
    l.slots.push_back(nullptr);
    l.slots.push_back(nullptr);
    l.db.triEntries.entries = l.slots.data();
    l.db.triEntries.capacity = static_cast<uint32_t>(l.slots.size());
    l.db.triEntries.count = static_cast<uint32_t>(l.all.size() - l.array.size());
}

}  // namespace

namespace sim {

LoadedMorphData* AddLoadedMorphData(const std::string& path, LoadedList list, EntryFlaw flaw) {
    auto d = std::make_unique<SimMorphData>();
    d->rec.path = Intern(path);
    d->set.fileName = d->rec.path;
    d->list = list;
    d->flaw = flaw;
    d->entry.unk00 = flaw == EntryFlaw::FreeEntry ? 0u : 1u;
    d->entry.tag = flaw == EntryFlaw::NotTri ? 0x0066696Eu /* "nif" */ : kTriEntryTag;
    d->entry.morphSet = flaw == EntryFlaw::NoMorphSet ? nullptr : &d->set;
    L().all.push_back(std::move(d));
    RebuildLists();
    return &L().all.back()->rec;
}

LoadedMorph* MorphData_AddMorph(LoadedMorphData* data, const std::string& name, uint32_t diffVertexNum,
                                uint32_t baseVertexNum, float scale) {
    if (!data) return nullptr;
    // The deltas must hold every vertex either count claims, or a writer trusting them overruns.
    uint32_t vertices = std::max(diffVertexNum, baseVertexNum);
    if (vertices > kMaxLoadedMorphVertices) return nullptr;
    SimMorphData* d = AsSim(data);
    d->deltas.emplace_back(static_cast<size_t>(vertices) * 3, int16_t{0});
    int16_t* deltas = d->deltas.back().empty() ? nullptr : d->deltas.back().data();
    LoadedMorph m{};
    m.name = Intern(name);
    m.deltas = deltas;
    m.scale = scale;
    m.diffVertexNum = diffVertexNum;
    m.baseVertexNum = baseVertexNum;
    d->morphs.push_back(m);
    d->rec.morphs = d->morphs.data();
    d->rec.morphCount = static_cast<int32_t>(d->morphs.size());

    MorphRecord r{};
    r.name = m.name;
    r.diffData = deltas;
    r.baseDiff = scale;
    r.diffVertexNum = diffVertexNum;
    r.baseVertexNum = baseVertexNum;
    r.diffVertexPosNum = diffVertexNum;
    d->records.push_back(r);
    d->set.morphData.entries = d->records.data();
    d->set.morphData.capacity = static_cast<uint32_t>(d->records.capacity());
    d->set.morphData.count = static_cast<uint32_t>(d->records.size());
    return &d->morphs.back();
}

MorphSet* MorphData_Set(LoadedMorphData* data) { return data ? &AsSim(data)->set : nullptr; }
TriEntry* MorphData_Entry(LoadedMorphData* data) { return data ? &AsSim(data)->entry : nullptr; }
LoadedList MorphData_List(const LoadedMorphData* data) { return AsSim(data)->list; }
EntryFlaw MorphData_Flaw(const LoadedMorphData* data) { return AsSim(data)->flaw; }

std::vector<LoadedMorphData*> AllLoadedMorphData() {
    std::vector<LoadedMorphData*> out;
    for (auto& d : L().all) out.push_back(&d->rec);
    return out;
}

LoadedMorphData* FindLoadedMorphDataByPath(const std::string& path) {
    for (auto& d : L().all)
        if (d->rec.path && strcasecmp(d->rec.path, path.c_str()) == 0) return &d->rec;
    return nullptr;
}

void ClearLoadedMorphData() {
    L().all.clear();
    RebuildLists();
}

TriEntry* InvalidTriEntry() { return &g_invalidEntry; }

}  // namespace sim

// The walks follow the same rules as the real binding: slots up to the capacity, free and
// invalidated slots skipped, chains followed; the array taken entry by entry.
void LoadedResourceTable_Visit(LoadedResourceVisitor visit, void* context) {
    const tArray<TriEntry*>& slots = L().db.triEntries;
    for (uint32_t i = 0; i < slots.capacity; ++i)
        for (TriEntry* e = slots.entries[i]; e && e != &g_invalidEntry; e = e->next)
            if (visit(e, context)) return;
}

void LoadedResourceArray_Visit(LoadedResourceVisitor visit, void* context) {
    for (TriEntry* e : L().array)
        if (e && e != &g_invalidEntry && visit(e, context)) return;
}
