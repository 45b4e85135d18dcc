// The process-wide cache of source morph files, keyed by the race name and sex last served.
#include "morph/tri_cache.h"

#include <algorithm>

#include "base/log.h"
#include "game/engine.h"

namespace {

struct TriCacheState {
    std::vector<TriFile> files;
    std::string raceName;
    int sexCode = 0;
    size_t filesRead = 0;
};

TriCacheState& State() {
    static TriCacheState* state = new TriCacheState;  // lives until the process ends
    return *state;
}

}  // namespace

void EnsureTriCache(const std::string& raceName, int sexCode, const RaceSetting& raceSetting) {
    TriCacheState& s = State();
    if (raceName == s.raceName && sexCode == s.sexCode) return;
    std::string key = raceName;  // may be the cached name itself, which the clear empties
    ClearTriCache();
    s.raceName = std::move(key);
    s.sexCode = sexCode;
    const std::vector<std::string>& targets = raceSetting.TargetNames(sexCode);
    const std::vector<std::vector<std::string>>& sources = raceSetting.SourceSets(sexCode);
    static const std::vector<std::string> kNoSources;
    for (size_t i = 0; i < targets.size(); ++i)
        CacheTriFiles(raceSetting.iniDirectory, targets[i], i < sources.size() ? sources[i] : kNoSources);
}

void CacheTriFiles(const std::string& directory, const std::string& targetPath,
                   const std::vector<std::string>& sourceFiles) {
    Log_Once(LogOnce().cacheCheckStart, "info: cache tri, check start.");
    // The resource system opens paths below the data folder: drop "data\".
    const std::string dir = directory.size() > 6 ? directory.substr(5) : directory;

    TriFile tri;
    tri.name = targetPath;
    std::vector<size_t> origin;  // source index of each morph, for the log
    for (size_t f = 0; f < sourceFiles.size(); ++f) {
        const std::string path = dir + sourceFiles[f];
        BSResourceNiBinaryStream stream{};
        ResourceStream_Open(&stream, path.c_str(), 0, 0);
        if (!ResourceStream_IsValid(&stream)) {
            LogMessage("    ERROR: no source .tri found (%s).", path.c_str());
            ResourceStream_Close(&stream);
            continue;
        }
        ++State().filesRead;
        TriReadResult read = ReadTriBody(&stream, tri);
        ResourceStream_Close(&stream);
        if (!read.ok) {
            LogMessage("    ERROR: cannot read source .tri (%s): %s.", path.c_str(), read.error.c_str());
            continue;
        }
        ++tri.filesRead;
        origin.resize(tri.morphs.size(), f);
    }

    // Every consumer walks vertexCount deltas, so a morph of another mesh cannot stay. The morphs
    // of one source share its vertex count: one line per source, not per morph.
    size_t kept = 0;
    std::vector<size_t> dropped(sourceFiles.size(), 0), droppedVertices(sourceFiles.size(), 0);
    for (size_t i = 0; i < tri.morphs.size(); ++i) {
        TriMorph& m = tri.morphs[i];
        if (m.deltas.size() != tri.vertexCount) {
            ++dropped[origin[i]];
            droppedVertices[origin[i]] = m.deltas.size();
            continue;
        }
        if (kept != i) tri.morphs[kept] = std::move(m);
        ++kept;
    }
    for (size_t f = 0; f < sourceFiles.size(); ++f) {
        if (!dropped[f]) continue;
        LogMessage("    ERROR: %s%s has %lu vertices, the target %s has %u (from its last source); its %lu morphs "
                   "are not used.",
                   dir.c_str(), sourceFiles[f].c_str(), static_cast<unsigned long>(droppedVertices[f]),
                   targetPath.c_str(), tri.vertexCount, static_cast<unsigned long>(dropped[f]));
    }
    if (kept != tri.morphs.size()) {
        tri.morphs.erase(tri.morphs.begin() + static_cast<std::ptrdiff_t>(kept), tri.morphs.end());
        tri.morphs.shrink_to_fit();
        IndexTriMorphs(tri);  // otherwise the reader's index stands
    }

    State().files.push_back(std::move(tri));
    Log_Once(LogOnce().cacheSuccess, "info: cache tri, success.");
}

const TriFile* FindCachedTri(const std::string& name) {
    for (const TriFile& f : State().files)
        if (f.name == name) return &f;
    return nullptr;
}

// The key goes with the contents: a cleared cache is refilled by the next EnsureTriCache even
// for the same race and sex.
void ClearTriCache() {
    TriCacheState& s = State();
    s.files.clear();
    s.raceName.clear();
    s.sexCode = 0;
}

const std::vector<TriFile>& TriCache() { return State().files; }
const std::string& CachedRaceName() { return State().raceName; }
int CachedSexCode() { return State().sexCode; }
size_t TriCacheFilesRead() { return State().filesRead; }
