#include "config/configured_path.h"

#include "base/log.h"
#include "os/os.h"

bool AcceptConfiguredPath(std::string_view folder, const std::string& path, const char* baseName,
                          const std::string& file, int line) {
    const os::ConfinedPath confined = os::ConfinePath(folder, path, baseName);
    if (confined.ok) return true;
    LogMessage("    ERROR: path: \"%s\" at line %d of %s %s; nothing is read or written through it.", LogEscape(path).c_str(), line,
               LogEscape(file).c_str(), confined.reason.c_str());
    return false;
}
