// The process-wide cache of source morph files: one TriFile per morph target of the race set
// and sex last served.
#pragma once

#include <string>
#include <vector>

#include "config/model.h"
#include "morph/tri_format.h"

// Refills the cache when the race name or sexCode differ from the last fill.
void EnsureTriCache(const std::string& raceName, int sexCode, const RaceSetting& raceSetting);
// Builds one TriFile from its source files (relative to `directory`) and appends it.
void CacheTriFiles(const std::string& directory, const std::string& targetPath,
                   const std::vector<std::string>& sourceFiles);
// First cached TriFile whose name equals `name` exactly; null when none.
const TriFile* FindCachedTri(const std::string& name);
void ClearTriCache();

// Inspection for tests and tools.
const std::vector<TriFile>& TriCache();
const std::string& CachedRaceName();
int CachedSexCode();
// Number of source files opened since the process started (a refill shows as a rise).
size_t TriCacheFilesRead();
