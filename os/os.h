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

// The user's documents folder, without a trailing separator; empty when unknown.
std::string DocumentsFolder();

// Creates one folder; true when it exists afterwards.
bool CreateFolder(const std::string& path);

// Opens a file for writing as a new file, letting other processes read it but not write it.
// Null when the file cannot be opened or another writer holds it.
FILE* OpenDenyWrite(const std::string& path);

// Opens a file for reading (binary), resolving the path. Null on failure.
FILE* OpenRead(const std::string& path);

// Makes code bytes writable and executable; returns the previous protection.
uint32_t ProtectReadWriteExecute(void* address, size_t size);
void RestoreProtection(void* address, size_t size, uint32_t previous);

}  // namespace os
