// Capturing what the plug-in writes to standard output (its copy of every log message).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace hostsim {

// Runs `fn` with file descriptor 1 sent to a temporary file and returns what was written
// there, split into lines (a final line break ends the last line, it adds no empty one).
std::vector<std::string> CaptureStdoutLines(const std::function<void()>& fn);

std::vector<std::string> SplitLines(const std::string& text);

}  // namespace hostsim
