// The few operating-system calls the library makes. Paths are Windows paths with
// backslashes; on POSIX they are resolved as Windows would resolve them (case-insensitive
// components, backslash separators).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace os {

// A Windows-style path turned into one the platform can open. On POSIX every existing
// component is matched without regard to case; missing components are kept as written.
std::string ResolvePath(const std::string& path);

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool isHidden = false;
};

// Lists the entries matching a pattern such as "dir\*.ini" (wildcards in the last component
// only, matched without regard to case). False when the listing cannot be opened.
bool ListDirectory(const std::string& pattern, std::vector<DirEntry>& out);

// The user's documents folder, without a trailing separator; empty when unknown. On POSIX
// it is $XDG_DOCUMENTS_DIR when set, else $HOME/Documents (the host simulator points the
// former elsewhere).
std::string DocumentsFolder();
// Tools that read and write slot files away from the user's own documents point
// DocumentsFolder here; empty gives the platform's folder back.
void SetDocumentsFolderOverride(const std::string& folder);

// Creates one folder; true when it exists afterwards.
bool CreateFolder(const std::string& path);

// Opens a file for writing as a new file, letting other processes read it but not write it.
// Null when the file cannot be opened or another writer holds it.
FILE* OpenDenyWrite(const std::string& path);

// Opens a file for reading (binary), resolving the path. Null on failure.
FILE* OpenRead(const std::string& path);

// A file written beside its final name and put in its place in one step when complete, so
// that a failed or interrupted write never leaves a truncated file where a good one stood.
// While it is open, other writers of the new file are denied. Not committed (destroyed,
// aborted or failed), the partial file is removed and the old file is left as it was.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // `text`: line ends written as the platform's text mode writes them (CR LF on Windows).
    bool Open(const std::string& path, bool text);
    bool IsOpen() const { return file_ != nullptr; }
    // False from the first failed write on; later writes do nothing.
    bool Write(const void* data, size_t size);
    bool WriteText(const std::string& text) { return Write(text.data(), text.size()); }
    // Overwrites bytes already written at `offset` (binary files), then returns to the end.
    bool WriteAt(uint32_t offset, const void* data, size_t size);
    // Flushes, closes and replaces the old file. False when anything failed on the way.
    bool Commit();
    void Abort();
    // What failed, for the log ("write failed", "cannot replace the old file", ...).
    const std::string& Error() const { return error_; }

private:
    bool Fail(const char* what);
    FILE* file_ = nullptr;
    bool failed_ = false;
    std::string finalPath_;
    std::string tempPath_;
    std::string error_;
};

// Test support: after `bytes` more bytes have been written through ReplacingFile, every
// further write fails (as on a full disk). SIZE_MAX turns it off.
void InjectWriteFailureAfter(size_t bytes);

// Makes code bytes writable and executable; returns the previous protection.
uint32_t ProtectReadWriteExecute(void* address, size_t size);
void RestoreProtection(void* address, size_t size, uint32_t previous);

}  // namespace os
