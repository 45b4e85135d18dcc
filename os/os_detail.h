// Platform halves of the shared os/ code; not for use outside os/.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace os::detail {

// The platform path of a Windows-style path (ResolvePath on POSIX, unchanged on Windows).
std::string PlatformPath(const std::string& path);
// Creates a temporary file for writing, exclusively and never through a link, with other
// writers denied: a stale file at the name (or a link) is removed first unless another writer
// holds it. Null on failure, with the system's reason.
FILE* OpenNewDenyWrite(const std::string& platformPath, bool text, std::string& reason);
// Forces written bytes to the disk before the file is put in place.
bool SyncToDisk(FILE* file, std::string& reason);
// Puts `from` in place of `to` in one step (replacing an existing file), then makes the
// change durable (POSIX: syncs the folder).
bool ReplaceWith(const std::string& from, const std::string& to, std::string& reason);
void RemoveFile(const std::string& platformPath);
// The C library's text for an errno value.
std::string ErrnoText(int error);
// The folder SetDocumentsFolderOverride set; empty when none.
const std::string& DocumentsFolderOverride();

}  // namespace os::detail
