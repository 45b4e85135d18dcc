#include "os/os.h"
#include "os/os_detail.h"

#include <windows.h>
#include <shlobj.h>
#include <share.h>

#include <cstring>
#include <io.h>

namespace os {

std::string ResolvePath(const std::string& path) { return path; }

bool ListDirectory(const std::string& pattern, std::vector<DirEntry>& out) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
        DirEntry e;
        e.name = data.cFileName;
        e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.isHidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        out.push_back(std::move(e));
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return true;
}

std::string DocumentsFolder() {
    if (!detail::DocumentsFolderOverride().empty()) return detail::DocumentsFolderOverride();
    char buf[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buf)))
        return buf;
    return {};
}

bool CreateFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

FILE* OpenDenyWrite(const std::string& path) { return _fsopen(path.c_str(), "w", _SH_DENYWR); }

FILE* OpenRead(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

namespace detail {

std::string PlatformPath(const std::string& path) { return path; }

FILE* OpenNewDenyWrite(const std::string& platformPath, bool text) {
    return _fsopen(platformPath.c_str(), text ? "w" : "wb", _SH_DENYWR);
}

bool SyncToDisk(FILE* file) { return _commit(_fileno(file)) == 0; }

// Atomic on one NTFS volume; the temporary file is always beside its target.
bool ReplaceWith(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const std::string& platformPath) { DeleteFileA(platformPath.c_str()); }

}  // namespace detail

uint32_t ProtectReadWriteExecute(void* address, size_t size) {
    DWORD old = 0;
    VirtualProtect(address, size, PAGE_EXECUTE_READWRITE, &old);
    return old;
}

void RestoreProtection(void* address, size_t size, uint32_t previous) {
    DWORD old = 0;
    VirtualProtect(address, size, previous, &old);
}

}  // namespace os
