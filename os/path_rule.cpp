// The one rule for paths that come from configuration files: read as Windows reads them, they
// must name something below the folder they are relative to.
#include <cstring>

#include "os/os.h"

namespace os {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows opens a device, not a file, for these names, whatever extension follows.
bool IsDeviceName(std::string_view component) {
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string lower;
    for (char c : stem) lower.push_back(Lower(c));
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (lower == device) return true;
    if (lower.size() >= 4 && (lower.compare(0, 3, "com") == 0 || lower.compare(0, 3, "lpt") == 0)) {
        std::string_view digit = std::string_view(lower).substr(3);
        if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
        // Superscript one, two and three in UTF-8 and in the ANSI code page.
        for (const char* sup : {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3", "\xB9", "\xB2", "\xB3"})
            if (digit == sup) return true;
    }
    return false;
}

ConfinedPath Refuse(std::string reason) {
    ConfinedPath r;
    r.reason = std::move(reason);
    return r;
}

}  // namespace

ConfinedPath ConfinePath(std::string_view folder, std::string_view path, std::string_view baseName) {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) {
        if (path.size() > 1 && (path[1] == '\\' || path[1] == '/'))
            return Refuse("is a network (UNC) or device path");
        return Refuse("is absolute");
    }
    if (path.size() >= 2 && path[1] == ':') return Refuse("names a drive");
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7F) return Refuse("holds a control character");
        if (c == ':') return Refuse("holds a ':' (a drive or a stream name)");
        if (std::strchr("<>\"|?*", c)) return Refuse("holds a character that Windows refuses in paths");
    }
    // `folder` is trusted and relative; the two are resolved as one path.
    std::vector<std::string_view> kept;
    auto walk = [&](std::string_view text, bool configured) -> std::string {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of("\\/", start);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view part = text.substr(start, end - start);
            start = end + 1;
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                if (kept.empty()) return "leads out of the " + std::string(baseName);
                kept.pop_back();
                continue;
            }
            if (configured) {
                // Windows drops trailing dots and blanks, so the name would open another file.
                if (part.back() == '.' || part.back() == ' ') return "has a name ending in a dot or a blank";
                if (IsDeviceName(part)) return "names a device (" + std::string(part) + ")";
            }
            kept.push_back(part);
        }
        return {};
    };
    std::string why = walk(folder, false);
    if (why.empty()) why = walk(path, true);
    if (!why.empty()) return Refuse(std::move(why));
    if (kept.empty()) return Refuse("names the " + std::string(baseName) + " itself, not a file in it");
    ConfinedPath r;
    r.ok = true;
    for (std::string_view part : kept) {
        if (!r.path.empty()) r.path += '\\';
        r.path.append(part);
    }
    return r;
}

}  // namespace os
