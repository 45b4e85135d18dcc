#include "tools/hostsim/capture.h"

#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cstdio>
#include <stdexcept>

namespace hostsim {

namespace {
#ifdef _WIN32
// msvcrt's tmpfile() makes its file in the drive's root, where users may not write.
FILE* TemporaryFile() {
    char dir[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (!GetTempPathA(sizeof(dir), dir) || !GetTempFileNameA(dir, "vtr", 0, name)) return nullptr;
    int fd = _open(name, _O_RDWR | _O_BINARY | _O_TRUNC | _O_TEMPORARY);  // removed when closed
    if (fd < 0) {
        DeleteFileA(name);
        return nullptr;
    }
    FILE* f = _fdopen(fd, "w+b");
    if (!f) _close(fd);
    return f;
}
#else
FILE* TemporaryFile() { return std::tmpfile(); }
#endif
}  // namespace

std::vector<std::string> CaptureStdoutLines(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* tmp = TemporaryFile();
    int saved = tmp ? dup(1) : -1;
    if (saved < 0 || dup2(fileno(tmp), 1) < 0) {
        if (saved >= 0) close(saved);
        if (tmp) std::fclose(tmp);
        throw std::runtime_error("cannot redirect standard output to capture the log");
    }
    struct Restore {
        int saved;
        ~Restore() {
            std::fflush(stdout);
            dup2(saved, 1);
            close(saved);
        }
    };
    {
        Restore restore{saved};
        fn();
    }
    std::string text;
    char buf[4096];
    lseek(fileno(tmp), 0, SEEK_SET);
    for (ssize_t n; (n = read(fileno(tmp), buf, sizeof(buf))) > 0;) text.append(buf, static_cast<size_t>(n));
    std::fclose(tmp);
    return SplitLines(text);
}

}  // namespace hostsim
