// Capturing what the plug-in writes to standard output (its copy of every log message).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace hostsim {

// Runs `fn` with file descriptor 1 sent to a temporary file and returns what was written
// there, split into lines (a final line break ends the last line, it adds no empty one).
std::vector<std::string> CaptureStdoutLines(const std::function<void()>& fn);

// Lines of a text; a final line break ends the last line and adds no empty one.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace hostsim
