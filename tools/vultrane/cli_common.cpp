#include "tools/vultrane/cli_common.h"

#include <stdlib.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sstream>

#include "base/log.h"
#include "os/os.h"
#include "tools/hostsim/capture.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

void Quietly(const std::function<void()>& fn) {
    std::fflush(stdout);
    (void)hostsim::CaptureStdoutLines(fn);
}

std::vector<std::string> CaptureLog(const std::function<void()>& fn) {
    std::vector<std::string> lines;
    Log_SetObserver([&](const std::string& line) { lines.push_back(line); });
    try {
        Quietly(fn);
    } catch (...) {
        Log_SetObserver(nullptr);
        throw;
    }
    Log_SetObserver(nullptr);
    return lines;
}

std::vector<std::string> Problems(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.find("ERROR") != std::string::npos || l.find("WARNING") != std::string::npos) out.push_back(l);
    return out;
}

std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                        const std::vector<bool>& rightAligned) {
    std::vector<size_t> width(header.size(), 0);
    auto measure = [&](const std::vector<std::string>& row) {
        for (size_t c = 0; c < row.size() && c < width.size(); ++c) width[c] = std::max(width[c], row[c].size());
    };
    measure(header);
    for (const auto& r : rows) measure(r);
    std::string out;
    auto line = [&](const std::vector<std::string>& row) {
        std::string text;
        for (size_t c = 0; c < width.size(); ++c) {
            const std::string cell = c < row.size() ? row[c] : "";
            const std::string pad(width[c] - std::min(width[c], cell.size()), ' ');
            const bool right = c < rightAligned.size() && rightAligned[c];
            if (c) text += "  ";
            text += right ? pad + cell : cell + (c + 1 < width.size() ? pad : "");
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + '\n';
    };
    line(header);
    std::vector<std::string> rule;
    for (size_t w : width) rule.push_back(std::string(w, '-'));
    line(rule);
    for (const auto& r : rows) line(r);
    return out;
}

std::string Num(double x) {
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof(buf), x);
    return std::string(buf, r.ptr);
}

double Rounded15(double x) {
    if (!std::isfinite(x)) return x;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    return std::strtod(buf, nullptr);
}

std::string Tidy(double x) {
    const double r = Rounded15(x);
    return Num(r == 0 ? 0.0 : r);  // no "-0"
}

Json NumJson(double x) {
    if (!std::isfinite(x)) return Num(x);
    if (x == std::trunc(x) && std::fabs(x) < 9e15) return static_cast<int64_t>(x);
    return x;
}

int ParseSex(const std::string& text, const std::string& option) {
    if (text == "female" || text == "f" || text == "1") return 1;
    if (text == "male" || text == "m" || text == "0") return 0;
    throw UsageError(option + ": expected female or male, not \"" + text + "\"");
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& error) {
    os::ReplacingFile out;
    if (!out.Open(path, false)) {
        error = out.Describe();
        return false;
    }
    if (!out.Write(bytes.data(), bytes.size()) || !out.Commit()) {
        error = out.Describe();
        return false;
    }
    return true;
}

void MakeOutputFolderFor(const std::string& path, const std::string& option) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    if (std::filesystem::is_directory(parent, ec)) return;
    std::filesystem::create_directories(parent, ec);
    if (ec || !std::filesystem::is_directory(parent))
        throw std::runtime_error(option + ": cannot create the folder " + parent.string() + ": " +
                                 (ec ? ec.message() : std::string("a file of that name is in the way")));
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        error = "read failed";
        return false;
    }
    bytes = s.str();
    return true;
}

std::string MakeTempFolder(const std::string& prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) throw std::runtime_error("cannot find the temporary folder: " + ec.message());
#ifdef _WIN32
    // No mkdtemp: create_directory makes the folder or reports that it exists, in one step.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "%08x", static_cast<unsigned>(random()));
        const std::filesystem::path dir = base / (prefix + suffix);
        if (std::filesystem::create_directory(dir, ec)) return dir.string();
        if (ec) break;
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
#else
    std::string tmpl = (base / (prefix + "XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder in " + base.string());
    return tmpl;
#endif
}

void PrintJson(const Json& json) {
    std::string text = json.dump(2, ' ', false, Json::error_handler_t::replace);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace vultrane
