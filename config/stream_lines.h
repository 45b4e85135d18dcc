// Line reading from a game resource stream, shared by the readers of configuration files.
#pragma once

#include <string>

#include "game/engine.h"

// The path handed to the resource stream for a configuration path: the stream resolves paths
// below the data folder, so a leading "data\" is dropped. Paths are reported in this form.
std::string DataRelativePath(const std::string& path);

// Opens a resource stream on construction and closes it on destruction.
class StreamLineReader {
public:
    explicit StreamLineReader(const std::string& dataRelativePath);
    ~StreamLineReader();
    StreamLineReader(const StreamLineReader&) = delete;
    StreamLineReader& operator=(const StreamLineReader&) = delete;

    bool IsValid();
    // The next line without its line break; false at the end of the stream. At most
    // kMaxLineBytes of a line are kept; a longer one is logged with its file and line.
    bool Next(std::string& line);

    static constexpr uint32_t kBufferSize = 1024;
    static constexpr uint32_t kTerminator = 10;

private:
    BSResourceNiBinaryStream stream_{};
    std::string path_;
    int lineNumber_ = 0;
    bool firstLine_ = true;
};
