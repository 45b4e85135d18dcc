#include "os/os.h"
#include "os/os_detail.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace os {
namespace {

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);
    return parts;
}

bool IsDir(const std::string& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Finds an entry of dir whose name equals want without regard to ASCII case; exact wins.
bool MatchEntry(const std::string& dir, const std::string& want, std::string& found) {
    std::string probe = (dir.empty() ? std::string(".") : dir);
    struct stat st {};
    if (stat((probe + "/" + want).c_str(), &st) == 0) {
        found = want;
        return true;
    }
    DIR* d = opendir(probe.c_str());
    if (!d) return false;
    bool ok = false;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, want.c_str()) == 0) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(d);
    return ok;
}

}  // namespace

std::string ResolvePath(const std::string& path) {
    if (path.empty()) return path;
    std::vector<std::string> parts = SplitComponents(path);
    std::string out;
    bool absolute = (path[0] == '/' || path[0] == '\\');
    bool resolving = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty()) {
            if (i == 0 && absolute) out = "/";
            continue;
        }
        std::string name = part;
        if (resolving && part != "." && part != "..") {
            std::string found;
            if (MatchEntry(out.empty() ? std::string() : out, part, found)) {
                name = found;
            } else {
                resolving = false;  // later components cannot exist either
            }
        }
        if (!out.empty() && out.back() != '/') out += '/';
        out += name;
    }
    if (!path.empty() && (path.back() == '\\' || path.back() == '/') && !out.empty() && out.back() != '/')
        out += '/';
    return out;
}

bool ListDirectory(const std::string& pattern, std::vector<DirEntry>& out) {
    size_t cut = pattern.find_last_of("\\/");
    std::string dir = cut == std::string::npos ? std::string() : pattern.substr(0, cut);
    std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    std::string real = dir.empty() ? std::string(".") : ResolvePath(dir);
    DIR* d = opendir(real.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (fnmatch(mask.c_str(), e->d_name, FNM_CASEFOLD) != 0) continue;
        DirEntry entry;
        entry.name = e->d_name;
        entry.isHidden = e->d_name[0] == '.';
        entry.isDirectory = IsDir(real + "/" + e->d_name);
        out.push_back(std::move(entry));
    }
    closedir(d);
    return true;
}

std::string DocumentsFolder() {
    if (!detail::DocumentsFolderOverride().empty()) return detail::DocumentsFolderOverride();
    const char* xdg = std::getenv("XDG_DOCUMENTS_DIR");
    if (xdg && *xdg) {
        std::string dir = xdg;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    return std::string(home) + "/Documents";
}

bool CreateFolder(const std::string& path) {
    std::string real = ResolvePath(path);
    while (real.size() > 1 && real.back() == '/') real.pop_back();
    if (mkdir(real.c_str(), 0755) == 0) return true;
    return IsDir(real);
}

FILE* OpenDenyWrite(const std::string& path) {
    std::string real = ResolvePath(path);
    int fd = open(real.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // Another writer holding the lock stands for a Windows deny-write share.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "w");
    if (!f) close(fd);
    return f;
}

FILE* OpenRead(const std::string& path) {
    std::string real = ResolvePath(path);
    if (IsDir(real)) return nullptr;
    return std::fopen(real.c_str(), "rb");
}

namespace detail {

std::string PlatformPath(const std::string& path) { return ResolvePath(path); }

FILE* OpenNewDenyWrite(const std::string& platformPath, bool) {
    if (IsDir(platformPath)) return nullptr;
    int fd = open(platformPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // The lock stands for a Windows deny-write share, as in OpenDenyWrite.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) close(fd);
    return f;
}

bool SyncToDisk(FILE* file) { return fsync(fileno(file)) == 0; }

bool ReplaceWith(const std::string& from, const std::string& to) {
    // rename() would put a file in place of an empty folder's name only on some systems.
    if (IsDir(to)) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& platformPath) { unlink(platformPath.c_str()); }

}  // namespace detail

// The simulated game's code is ordinary data memory: nothing to change.
uint32_t ProtectReadWriteExecute(void*, size_t) { return 0; }
void RestoreProtection(void*, size_t, uint32_t) {}

}  // namespace os
