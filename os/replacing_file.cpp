#include <cerrno>
#include <cstdint>
#include <cstring>

#include "os/os.h"
#include "os/os_detail.h"

namespace os {
namespace {

size_t g_bytesUntilFailure = SIZE_MAX;

}  // namespace

namespace detail {

std::string ErrnoText(int error) { return error ? std::strerror(error) : std::string(); }

}  // namespace detail

void InjectWriteFailureAfter(size_t bytes) { g_bytesUntilFailure = bytes; }

ReplacingFile::~ReplacingFile() { Abort(); }

bool ReplacingFile::Open(const std::string& path, bool text) {
    Abort();
    failed_ = false;
    error_.clear();
    reason_.clear();
    finalPath_ = detail::PlatformPath(path);
    tempPath_ = finalPath_ + ".vtrnew";
    std::string reason;
    file_ = detail::OpenNewDenyWrite(tempPath_, text, reason);
    if (!file_) return Fail("cannot open the file", std::move(reason));
    return true;
}

bool ReplacingFile::Fail(const char* what, std::string reason) {
    if (!failed_) {
        error_ = what;
        reason_ = std::move(reason);
    }
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
    errno = 0;
    if (allowed > 0 && std::fwrite(data, 1, allowed, file_) != allowed)
        return Fail("write failed", detail::ErrnoText(errno));
    if (injected) return Fail("write failed");
    return true;
}

bool ReplacingFile::WriteAt(uint32_t offset, const void* data, size_t size) {
    if (!file_ || failed_) return false;
    errno = 0;
    if (std::fflush(file_) != 0) return Fail("write failed", detail::ErrnoText(errno));
    long end = std::ftell(file_);
    if (end < 0 || static_cast<uint64_t>(offset) + size > static_cast<uint64_t>(end)) return Fail("seek failed");
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return Fail("seek failed", detail::ErrnoText(errno));
    bool ok = Write(data, size);
    if (std::fseek(file_, 0, SEEK_END) != 0) return Fail("seek failed", detail::ErrnoText(errno));
    return ok;
}

bool ReplacingFile::Commit() {
    if (!file_) return false;
    std::string reason;
    errno = 0;
    if (!failed_ && std::fflush(file_) != 0) Fail("write failed", detail::ErrnoText(errno));
    if (!failed_ && !detail::SyncToDisk(file_, reason)) Fail("write failed", reason);
    errno = 0;
    if (std::fclose(file_) != 0) Fail("write failed", detail::ErrnoText(errno));
    file_ = nullptr;
    if (!failed_ && !detail::ReplaceWith(tempPath_, finalPath_, reason)) Fail("cannot replace the old file", reason);
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
