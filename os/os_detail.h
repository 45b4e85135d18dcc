// Platform halves of the shared os/ code; not for use outside os/.
#pragma once

#include <cstdio>
#include <string>

namespace os::detail {

// The platform path of a Windows-style path (ResolvePath on POSIX, unchanged on Windows).
std::string PlatformPath(const std::string& path);
// Creates or truncates a file for writing with other writers denied; null on failure.
FILE* OpenNewDenyWrite(const std::string& platformPath, bool text);
// Forces written bytes to the disk before the file is put in place.
bool SyncToDisk(FILE* file);
// Puts `from` in place of `to` in one step (replacing an existing file).
bool ReplaceWith(const std::string& from, const std::string& to);
void RemoveFile(const std::string& platformPath);
// The folder SetDocumentsFolderOverride set; empty when none.
const std::string& DocumentsFolderOverride();

}  // namespace os::detail
