// The few operating-system calls the library makes. Paths are Windows paths with
// backslashes; on POSIX they are resolved as Windows would resolve them (case-insensitive
// components, backslash separators).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// ----- Paths from configuration files ----------------------------------------------------------

struct ConfinedPath {
    bool ok = false;
    std::string path;    // resolved below the base folder: components joined by "\", case as written
    std::string reason;  // why it was refused ("leads out of the data folder", ...), empty when ok
};

// The one rule for a path that a configuration file gives, relative to a base folder (the game
// folder for merge targets, the data folder for sources, presets and vertex-edit files). Read
// as Windows reads paths: "\" or "/" separate, "." and ".." are resolved lexically, doubled
// separators count once. Refused: absolute paths, network (UNC) and device paths, drive letters
// and any ':', control characters and the characters Windows refuses in names, names ending in
// a dot or a blank, device names (con, prn, aux, nul, com0-9, lpt0-9, ...) with or without an
// extension, and anything that leads out of the base folder or names the base folder itself.
// `folder` is a trusted folder below the base that `path` is relative to ("Meshes\Vultrane\Sets\"
// for a race set's sources); `baseName` words the reason ("data folder").
ConfinedPath ConfinePath(std::string_view folder, std::string_view path, std::string_view baseName);

// ----- Files -------------------------------------------------------------------------------------

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
// The folder set there; empty when none.
std::string GetDocumentsFolderOverride();

// Creates one folder; true when it exists afterwards.
bool CreateFolder(const std::string& path);

// Opens a file for writing as a new file, letting other processes read it but not write it.
// Null when the file cannot be opened or another writer holds it.
FILE* OpenDenyWrite(const std::string& path);

// Opens a file for reading (binary), resolving the path. Null on failure.
FILE* OpenRead(const std::string& path);

// A file written beside its final name and put in its place in one step when complete, so
// that a failed or interrupted write never leaves a truncated file where a good one stood.
// The temporary file ("<name>.vtrnew") is created anew and exclusively, never through a link:
// a stale one left by a crash is removed first (a link is removed, not followed), and one
// that another writer holds open denies this writer. On POSIX the folder is synced after the
// file is put in place. Not committed (destroyed,
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
    // The system's reason for it (the errno or GetLastError text), empty when the system gave
    // none (an injected failure).
    const std::string& Reason() const { return reason_; }
    // Error() followed by the reason in parentheses when there is one.
    std::string Describe() const { return reason_.empty() ? error_ : error_ + " (" + reason_ + ")"; }

private:
    bool Fail(const char* what, std::string reason = {});
    FILE* file_ = nullptr;
    bool failed_ = false;
    std::string finalPath_;
    std::string tempPath_;
    std::string error_;
    std::string reason_;
};

// Test support: after `bytes` more bytes have been written through ReplacingFile, every
// further write fails (as on a full disk). SIZE_MAX turns it off.
void InjectWriteFailureAfter(size_t bytes);

// Makes code bytes writable and executable; returns the previous protection.
uint32_t ProtectReadWriteExecute(void* address, size_t size);
void RestoreProtection(void* address, size_t size, uint32_t previous);

}  // namespace os
