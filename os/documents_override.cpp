#include "os/os.h"
#include "os/os_detail.h"

namespace os {
namespace {

std::string& Override() {
    static std::string folder;
    return folder;
}

}  // namespace

void SetDocumentsFolderOverride(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && (f.back() == '/' || f.back() == '\\')) f.pop_back();
    Override() = f;
}

std::string GetDocumentsFolderOverride() { return Override(); }

namespace detail {
const std::string& DocumentsFolderOverride() { return Override(); }
}  // namespace detail

}  // namespace os
