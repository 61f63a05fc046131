// SPDX-License-Identifier: MIT
#include "platform/offline/fat/block_device.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace sabrel::platform::offline::fat {

bool MemoryDevice::Read(std::uint64_t offset, void* out, std::size_t length) {
    if (!Inside(offset, length)) return false;
    if (length) std::memcpy(out, bytes_.data() + offset, length);
    return true;
}

bool MemoryDevice::Write(std::uint64_t offset, const void* data, std::size_t length) {
    if (!Inside(offset, length)) return false;
    if (length) std::memcpy(bytes_.data() + offset, data, length);
    return true;
}

bool MemoryDevice::Grow(std::uint64_t size, const void* tail, std::size_t length) {
    if (size < bytes_.size() + length || size > bytes_.max_size()) return false;
    bytes_.resize(static_cast<std::size_t>(size));
    if (length) std::memcpy(bytes_.data() + (size - length), tail, length);
    return true;
}

std::unique_ptr<FileDevice> FileDevice::Open(const std::string& path, bool writable,
                                             OpenError* error) {
    *error = OpenError::kNone;
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ENOENT                       ? OpenError::kNotFound
                 : (errno == EACCES || errno == EROFS) ? OpenError::kAccess
                                                       : OpenError::kIo;
        return nullptr;
    }
    // An advisory lock: every Sabrel takes it, so two never share a volume.
    if (::flock(fd, (writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        *error = OpenError::kLocked;
        ::close(fd);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = OpenError::kIo;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileDevice>(
        new FileDevice(fd, static_cast<std::uint64_t>(st.st_size), writable));
}

FileDevice::~FileDevice() {
    ::close(fd_);
}

namespace {

// Repeats a positioned read or write (`call`) until all `length` bytes have
// moved: the system may move fewer at a time, and a signal may interrupt it.
template <typename Byte, typename Call>
bool MoveAll(Byte* p, std::uint64_t offset, std::size_t length, Call call) {
    while (length) {
        const ssize_t n = call(p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool FileDevice::Read(std::uint64_t offset, void* out, std::size_t length) {
    if (!Inside(offset, length)) return false;
    return MoveAll(static_cast<char*>(out), offset, length,
                   [this](char* p, std::size_t n, off_t at) { return ::pread(fd_, p, n, at); });
}

namespace {

// SABREL_IMAGE_KILL_AT=N ends the process, as a kill would, just before the
// Nth write to an image file (counted across the process): the crash tests
// prove with it that a kill at any write loses nothing. 0 without it.
long KillAt() {
    static const long at = [] {
        const char* v = std::getenv("SABREL_IMAGE_KILL_AT");
        return v ? std::atol(v) : 0L;
    }();
    return at;
}

std::atomic<long> g_writes{0};

}  // namespace

bool FileDevice::Write(std::uint64_t offset, const void* data, std::size_t length) {
    if (!writable_ || !Inside(offset, length)) return false;
    if (KillAt() > 0 && ++g_writes == KillAt()) std::_Exit(kKilledAtWrite);
    return MoveAll(
        static_cast<const char*>(data), offset, length,
        [this](const char* p, std::size_t n, off_t at) { return ::pwrite(fd_, p, n, at); });
}

bool FileDevice::Grow(std::uint64_t size, const void* tail, std::size_t length) {
    if (!writable_ || size < size_ + length) return false;
    // One write past the end: the file grows by it, the gap reading as zeros.
    const std::uint64_t old = size_;
    size_ = size;
    if (Write(size - length, tail, length)) return true;
    struct stat st;
    size_ = ::fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : old;
    return false;
}

bool FileDevice::Flush() {
    return !writable_ || ::fdatasync(fd_) == 0;
}

SliceDevice::SliceDevice(BlockDevice* base, std::uint64_t first, std::uint64_t length)
    : base_(base), first_(first), length_(0) {
    // A slice that claims to run past its base is cut to what the base holds.
    std::uint64_t size = base->Size();
    if (first <= size) length_ = length < size - first ? length : size - first;
}

bool SliceDevice::Read(std::uint64_t offset, void* out, std::size_t length) {
    return Inside(offset, length) && base_->Read(first_ + offset, out, length);
}

bool SliceDevice::Write(std::uint64_t offset, const void* data, std::size_t length) {
    return Inside(offset, length) && base_->Write(first_ + offset, data, length);
}

}  // namespace sabrel::platform::offline::fat
