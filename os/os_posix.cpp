#include "os/os.h"
#include "os/os_detail.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

FILE* OpenNewDenyWrite(const std::string& platformPath, bool, std::string& reason) {
    const char* path = platformPath.c_str();
    // A stale temporary file from an interrupted write goes first, unless another writer holds
    // it (the lock stands for a Windows deny-write share, as in OpenDenyWrite). Whatever is not
    // a plain file (a link, a pipe) is removed without being opened: unlink removes the link,
    // never its target.
    struct stat st {};
    if (lstat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            reason = ErrnoText(EISDIR);
            return nullptr;
        }
        if (S_ISREG(st.st_mode)) {
            int old = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (old >= 0) {
                const bool held = flock(old, LOCK_EX | LOCK_NB) != 0;
                if (!held) unlink(path);
                close(old);
                if (held) {
                    reason = "another writer holds the file";
                    return nullptr;
                }
            }
        } else {
            unlink(path);
        }
    }
    // Created here and now, or not at all: O_EXCL fails on anything at the name, O_NOFOLLOW
    // on a link put there in between.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = "another writer holds the file";
        close(fd);
        unlink(path);
        return nullptr;
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        reason = ErrnoText(errno);
        close(fd);
        unlink(path);
    }
    return f;
}

bool SyncToDisk(FILE* file, std::string& reason) {
    if (fsync(fileno(file)) == 0) return true;
    reason = ErrnoText(errno);
    return false;
}

bool ReplaceWith(const std::string& from, const std::string& to, std::string& reason) {
    // rename() would put a file in place of an empty folder's name only on some systems.
    if (IsDir(to)) {
        reason = ErrnoText(EISDIR);
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        reason = ErrnoText(errno);
        return false;
    }
    // The new name is durable only once the folder holding it is synced. The file is in place
    // already, so a folder that cannot be synced (some file systems refuse) fails nothing.
    size_t cut = to.find_last_of('/');
    const std::string folder = cut == std::string::npos ? std::string(".") : cut == 0 ? std::string("/") : to.substr(0, cut);
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

void RemoveFile(const std::string& platformPath) { unlink(platformPath.c_str()); }

}  // namespace detail

// The simulated game's code is ordinary data memory: nothing to change.
uint32_t ProtectReadWriteExecute(void*, size_t) { return 0; }
void RestoreProtection(void*, size_t, uint32_t) {}

}  // namespace os
