#include "tools/hostsim/crash.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace hostsim {

namespace {

char g_activity[256] = "start-up";
const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction g_previous[sizeof(kSignals) / sizeof(kSignals[0])];

void Put(const char* s) {
    size_t n = std::strlen(s);
    while (n > 0) {
        ssize_t w = write(2, s, n);
        if (w <= 0) return;
        s += w;
        n -= static_cast<size_t>(w);
    }
}

// Only async-signal-safe calls from here on.
void OnSignal(int sig, siginfo_t*, void*) {
    char num[16];
    int k = 0;
    char rev[16];
    for (int v = sig; v > 0 && k < 15; v /= 10) rev[k++] = static_cast<char>('0' + v % 10);
    for (int i = 0; i < k; ++i) num[i] = rev[k - 1 - i];
    num[k] = '\0';
    Put("vtr_hostsim: the plug-in stopped with signal ");
    Put(num);
    Put(" during ");
    Put(g_activity);
    Put("\n");
    // During a call standard output is the capture file: show what the plug-in logged.
    if (lseek(1, 0, SEEK_SET) == 0) {
        Put("vtr_hostsim: log lines written during it:\n");
        char buf[4096];
        for (ssize_t n; (n = read(1, buf, sizeof(buf))) > 0;)
            if (write(2, buf, static_cast<size_t>(n)) < 0) break;
    }
    // Hand the signal back: a fault happens again on return, an abort raises it again.
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i)
        if (kSignals[i] == sig) sigaction(sig, &g_previous[i], nullptr);
}

}  // namespace

void InstallCrashReport() {
    struct sigaction sa {};
    sa.sa_sigaction = &OnSignal;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
}

void SetActivity(const std::string& what) {
    size_t n = std::min(what.size(), sizeof(g_activity) - 1);
    std::memcpy(g_activity, what.data(), n);
    g_activity[n] = '\0';
}

}  // namespace hostsim
