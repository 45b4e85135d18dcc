#include "tools/hostsim/capture.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace hostsim {

std::vector<std::string> CaptureStdoutLines(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
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
