#include "os/os.h"
#include "os/os_detail.h"

#include <windows.h>
#include <shlobj.h>
#include <share.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
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

namespace {

// The system's text for a GetLastError code, without the line break it ends with.
std::string SystemErrorText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

}  // namespace

FILE* OpenNewDenyWrite(const std::string& platformPath, bool text, std::string& reason) {
    // A stale temporary file goes first; DeleteFile removes a link itself, never its target,
    // and fails while another writer holds the file open (then CREATE_NEW below fails too).
    DeleteFileA(platformPath.c_str());
    // Created here and now, or not at all; a reparse point put at the name is opened as
    // itself, never followed. Readers are let in, other writers kept out.
    HANDLE h = CreateFileA(platformPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        reason = SystemErrorText(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | (text ? _O_TEXT : _O_BINARY));
    if (fd < 0) {
        reason = ErrnoText(errno);
        CloseHandle(h);
        DeleteFileA(platformPath.c_str());
        return nullptr;
    }
    FILE* f = _fdopen(fd, text ? "w" : "wb");
    if (!f) {
        reason = ErrnoText(errno);
        _close(fd);
        DeleteFileA(platformPath.c_str());
    }
    return f;
}

bool SyncToDisk(FILE* file, std::string& reason) {
    if (_commit(_fileno(file)) == 0) return true;
    reason = ErrnoText(errno);
    return false;
}

// Atomic on one NTFS volume; the temporary file is always beside its target.
bool ReplaceWith(const std::string& from, const std::string& to, std::string& reason) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    reason = SystemErrorText(GetLastError());
    return false;
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
