#include "base/log.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "os/os.h"

#if !defined(_WIN32)
// A program that runs the library outside the game defines this as true (a strong definition
// beats this weak one), so that starting it in a game folder does not start, and so empty,
// that game's log. The plug-in never defines it.
extern "C" { __attribute__((weak)) bool vtr_log_no_startup_file = false; }
#endif

namespace {

bool NoStartupFile() {
#if defined(_WIN32) && defined(VTR_NO_STARTUP_LOG)
    return true;  // the Windows program, which may be started in a game folder
#elif defined(_WIN32)
    return false;
#else
    return *static_cast<volatile bool*>(&vtr_log_no_startup_file);
#endif
}

constexpr int kLevelFatal = 0;
constexpr int kLevelMessage = 3;

// The log facility, constructed when the library is loaded.
class IDebugLog {
public:
    IDebugLog() {
        if (!NoStartupFile()) Open("data\\skse\\plugins\\Vultrane.log");
    }

    void Open(const std::string& base) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        path_.clear();
        if ((file_ = os::OpenDenyWrite(base))) {
            path_ = base;
            return;
        }
        for (int i = 0; i < 5; ++i) {
            char name[1024];
            std::snprintf(name, sizeof(name), "%s%d", base.c_str(), i);
            if ((file_ = os::OpenDenyWrite(name))) {
                path_ = name;
                return;
            }
        }
    }

    void Write(int level, const char* format, va_list args) {
        char buffer[kLogFormatBufferChars + 1];
        va_list copy;
        va_copy(copy, args);
        int needed = std::vsnprintf(buffer, sizeof(buffer), format, copy);
        va_end(copy);
        if (needed < 0) return;
        if (static_cast<size_t>(needed) <= kLogFormatBufferChars) {
            Emit(level, std::string_view(buffer, static_cast<size_t>(needed)));
            return;
        }
        // Too long for the format buffer: format it whole on the heap and write it in pieces.
        std::vector<char> big(static_cast<size_t>(needed) + 1);
        std::vsnprintf(big.data(), big.size(), format, args);
        Emit(level, std::string_view(big.data(), static_cast<size_t>(needed)));
    }

    void SetObserver(std::function<void(const std::string&)> o) { observer_ = std::move(o); }
    void SetConsoleCopy(bool on) { consoleLevel_ = on ? kLevelMessage : -1; }
    const std::string& Path() const { return path_; }

private:
    void Emit(int level, std::string_view text) {
        if (level <= fileLevel_ && file_) {
            for (size_t at = 0; at < text.size(); at += kLogFormatBufferChars) {
                size_t n = std::min(kLogFormatBufferChars, text.size() - at);
                std::fwrite(text.data() + at, 1, n, file_);
            }
            std::fputc('\n', file_);
            if (autoFlush_) std::fflush(file_);
        }
        if (level <= consoleLevel_) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
        if (observer_) observer_(std::string(text));
    }

    FILE* file_ = nullptr;
    std::string path_;
    bool autoFlush_ = true;
    int fileLevel_ = 5;
    int consoleLevel_ = 3;
    std::function<void(const std::string&)> observer_;
};

IDebugLog& TheLog() {
    static IDebugLog* log = new IDebugLog();  // lives until the process ends
    return *log;
}

// Open the file when the library is loaded, as the game's plug-ins do.
[[maybe_unused]] const bool g_logOpened = (TheLog(), true);

std::string& Pending() {
    static auto* s = new std::string();
    return *s;
}

}  // namespace

void LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    TheLog().Write(kLevelMessage, format, args);
    va_end(args);
}

void LogFatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    TheLog().Write(kLevelFatal, format, args);
    va_end(args);
}

LogOnceFlags& LogOnce() {
    static LogOnceFlags flags;
    return flags;
}

void Log_ArmOnceFlags() {
    LogOnceFlags& f = LogOnce();
    f.cacheCheckStart = f.cacheSuccess = f.replaceStart = f.replaceSuccess = true;
}

void Log_Once(bool& flag, const char* message) {
    if (!flag) return;
    LogMessage("%s", message);
    flag = false;
}

void PendingLog_Clear() { Pending().clear(); }
void PendingLog_Append(std::string_view text) { Pending().append(text); }
const std::string& PendingLog_Text() { return Pending(); }

void PendingLog_FlushWith(const char* text) {
    std::string& p = Pending();
    if (p.size() > kPendingLogLimit) p = p.substr(0, kPendingLogLimit) + " (... too long.)\n";
    LogMessage("%s%s", p.c_str(), text ? text : "");
}

namespace {

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

}  // namespace

bool NeedsEscape(std::string_view text) {
    for (unsigned char c : text)
        if (IsControl(c)) return true;
    return false;
}

std::string LogEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (!IsControl(c)) {
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

const std::string& Log_FilePath() { return TheLog().Path(); }
void Log_Reopen(const std::string& basePath) { TheLog().Open(basePath); }
void Log_SetObserver(std::function<void(const std::string&)> observer) { TheLog().SetObserver(std::move(observer)); }
void Log_SetConsoleCopy(bool on) { TheLog().SetConsoleCopy(on); }
