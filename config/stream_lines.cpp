#include "config/stream_lines.h"

#include <cstring>

#include "config/text.h"

std::string DataRelativePath(const std::string& path) {
    // Only a real "data\" prefix is removed; cutting five characters from any other path
    // would open a different file than the one named.
    if (path.size() > 5 && (path[4] == '\\' || path[4] == '/')) {
        bool data = true;
        const char* word = "data";
        for (size_t i = 0; i < 4; ++i) {
            char c = path[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            data = data && c == word[i];
        }
        if (data) return path.substr(5);
    }
    return path;
}

StreamLineReader::StreamLineReader(const std::string& dataRelativePath) : path_(dataRelativePath) {
    ResourceStream_Open(&stream_, dataRelativePath.c_str(), 0, 0);
}

StreamLineReader::~StreamLineReader() { ResourceStream_Close(&stream_); }

bool StreamLineReader::IsValid() { return ResourceStream_IsValid(&stream_); }

// The count that ReadLine returns is not a reliable text length: a last line without its
// terminator is counted one byte longer than stored, and a line longer than the buffer
// arrives in pieces without a terminator. So the text of each piece is taken up to its string
// end (never past what was stored), a piece that filled the buffer without ending in a line
// feed is joined with the next one, and only a real trailing line feed is dropped. No
// character is lost and a long line stays one line (and counts as one for line numbers).
bool StreamLineReader::Next(std::string& line) {
    line.clear();
    char buffer[kBufferSize];
    bool any = false;
    bool cut = false;
    for (;;) {
        // The count's meaning is unverified in the game, so the text ends at the first zero
        // byte too, whichever comes first.
        uint32_t count = ResourceStream_ReadLine(&stream_, buffer, kBufferSize, kTerminator);
        if (count == 0) break;
        any = true;
        size_t stored = count < kBufferSize ? count : kBufferSize - 1;
        buffer[kBufferSize - 1] = '\0';
        size_t length = strnlen(buffer, stored);
        // The line break of a full line is kept below for the check after the loop.
        const size_t room = kMaxLineBytes + 1 - line.size();
        if (length > room) {
            cut = true;
            length = room;
        }
        line.append(buffer, length);
        bool filled = count >= kBufferSize - 1 && buffer[kBufferSize - 2] != '\n';
        if (!filled) break;
    }
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (line.size() > kMaxLineBytes) {
        cut = true;
        line.resize(kMaxLineBytes);
    }
    if (any && lineNumber_ < INT32_MAX) ++lineNumber_;
    if (cut) LogLineCut(path_, lineNumber_);
    if (firstLine_) StripByteOrderMark(line);
    firstLine_ = false;
    return any;
}
