// SPDX-License-Identifier: MIT
#include "platform/offline/registry/hive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "creg/creg_reader.h"
#include "creg/creg_writer.h"
#include "platform/offline/host_files.h"
#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

namespace {

// Writes to a file that is flushed to disk when complete. Every few MiB the
// disk is set to work on what was written so far, so that the final flush
// waits for the last stretch only instead of the whole file.
class FdSink : public hive::ByteSink {
  public:
    explicit FdSink(int fd) : fd_(fd) {}
    std::uint32_t Write(const std::uint8_t* data, std::size_t length) override {
        while (length > 0) {
            ssize_t n = ::write(fd_, data, length);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Win32FromErrno(errno);
            }
            data += n;
            length -= static_cast<std::size_t>(n);
            written_ += static_cast<std::uint64_t>(n);
        }
        if (written_ - started_ >= kWritebackStep) {
            // Only a hint: a failure here shows again at the final flush.
            ::sync_file_range(fd_, static_cast<off_t>(started_),
                              static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
            started_ = written_;
        }
        return 0;
    }

  private:
    static constexpr std::uint64_t kWritebackStep = 8u << 20;
    int fd_;
    std::uint64_t written_ = 0;
    std::uint64_t started_ = 0;
};

}  // namespace

DWORD LoadHiveFd(int fd, hive::CregTree* tree) {
    // The tree reads names and values where the mapped file has them: no copy
    // of the file, and no zeroed memory to copy it into.
    std::unique_ptr<FileImage> image = MapHostFd(fd);
    if (!image) return Win32FromErrno(errno);
    try {
        std::shared_ptr<const FileImage> owner(std::move(image));
        std::shared_ptr<const std::uint8_t> bytes(owner, owner->data());
        return hive::LoadHive(std::move(bytes), owner->size(), tree);
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
}

DWORD LoadHiveFile(const std::string& hostPath, hive::CregTree* tree) {
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Win32FromErrno(errno);
    DWORD code = LoadHiveFd(fd, tree);
    ::close(fd);
    return code;
}

DWORD SaveHiveFile(const hive::CregTree& tree, std::uint32_t root, const std::string& hostPath) {
    struct stat st;
    if (::lstat(hostPath.c_str(), &st) == 0) return kErrorAlreadyExists;
    // The order of durability that the replacement at the next start relies
    // on: the rebuilt file's contents are synced, then it gets its name, then
    // its folder is synced, all before this returns. Only then may the caller
    // write the WININIT.INI entry naming it (which is itself written whole and
    // synced), so no entry can outlive the file it names after a power cut.
    return WriteHostFile(hostPath, kSavePrefix, Publish::kNoReplace, NewFileMode(), [&](int fd) {
        FdSink sink(fd);
        return static_cast<DWORD>(hive::WriteCompact(tree, root, sink));
    });
}

}  // namespace sabrel::platform::offline
