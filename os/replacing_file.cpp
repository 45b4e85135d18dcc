#include <cstdint>

#include "os/os.h"
#include "os/os_detail.h"

namespace os {
namespace {

size_t g_bytesUntilFailure = SIZE_MAX;

}  // namespace

void InjectWriteFailureAfter(size_t bytes) { g_bytesUntilFailure = bytes; }

ReplacingFile::~ReplacingFile() { Abort(); }

bool ReplacingFile::Open(const std::string& path, bool text) {
    Abort();
    failed_ = false;
    error_.clear();
    finalPath_ = detail::PlatformPath(path);
    tempPath_ = finalPath_ + ".vtrnew";
    file_ = detail::OpenNewDenyWrite(tempPath_, text);
    if (!file_) {
        error_ = "cannot open the file";
        failed_ = true;
        return false;
    }
    return true;
}

bool ReplacingFile::Fail(const char* what) {
    if (!failed_) error_ = what;
    failed_ = true;
    return false;
}

bool ReplacingFile::Write(const void* data, size_t size) {
    if (!file_ || failed_) return false;
    if (size == 0) return true;
    size_t allowed = size;
    bool injected = false;
    if (g_bytesUntilFailure != SIZE_MAX) {
        if (size > g_bytesUntilFailure) {
            allowed = g_bytesUntilFailure;
            injected = true;
        }
        g_bytesUntilFailure -= allowed;
    }
    if (allowed > 0 && std::fwrite(data, 1, allowed, file_) != allowed) return Fail("write failed");
    if (injected) return Fail("write failed");
    return true;
}

bool ReplacingFile::WriteAt(uint32_t offset, const void* data, size_t size) {
    if (!file_ || failed_) return false;
    if (std::fflush(file_) != 0) return Fail("write failed");
    long end = std::ftell(file_);
    if (end < 0 || static_cast<uint64_t>(offset) + size > static_cast<uint64_t>(end)) return Fail("seek failed");
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return Fail("seek failed");
    bool ok = Write(data, size);
    if (std::fseek(file_, 0, SEEK_END) != 0) return Fail("seek failed");
    return ok;
}

bool ReplacingFile::Commit() {
    if (!file_) return false;
    if (!failed_ && std::fflush(file_) != 0) Fail("write failed");
    if (!failed_ && !detail::SyncToDisk(file_)) Fail("write failed");
    if (std::fclose(file_) != 0) Fail("write failed");
    file_ = nullptr;
    if (!failed_ && !detail::ReplaceWith(tempPath_, finalPath_)) Fail("cannot replace the old file");
    if (failed_) {
        detail::RemoveFile(tempPath_);
        return false;
    }
    return true;
}

void ReplacingFile::Abort() {
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
    detail::RemoveFile(tempPath_);
}

}  // namespace os
