#include "tools/vultrane/progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace vultrane {

namespace {
long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

Progress::Progress(std::string label, size_t total)
    : label_(std::move(label)), total_(total), terminal_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { Done(); }

void Progress::Step(size_t done) {
    if (!terminal_) return;
    const long long now = NowMs();
    if (now - lastDrawMs_ < 100 && done < total_) return;
    lastDrawMs_ = now;
    shown_ = true;
    if (total_ > 0)
        std::fprintf(stderr, "\r%s %zu/%zu (%d%%)", label_.c_str(), done, total_, static_cast<int>(done * 100 / total_));
    else
        std::fprintf(stderr, "\r%s %zu", label_.c_str(), done);
    std::fflush(stderr);
}

void Progress::Done() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace vultrane
