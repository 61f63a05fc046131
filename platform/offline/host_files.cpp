// SPDX-License-Identifier: MIT
#include "platform/offline/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

namespace {

// A temporary file younger than this may belong to a writer that has just
// created it and not locked it yet.
constexpr time_t kStaleAfterSeconds = 10;

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Gives `from` the name `to` unless `to` exists. A hard link is atomic and
// never replaces; file systems without links (FAT) get renameat2 with
// RENAME_NOREPLACE, and where that is missing, a test and a rename.
DWORD PublishNoReplace(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) return kErrorAlreadyExists;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS) {
        return Win32FromErrno(errno);
    }
#ifdef SYS_renameat2
    constexpr unsigned kRenameNoReplace = 1;
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) ==
        0) {
        return 0;
    }
    if (errno == EEXIST) return kErrorAlreadyExists;
    if (errno != EINVAL && errno != ENOSYS) return Win32FromErrno(errno);
#endif
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return kErrorAlreadyExists;
    if (::rename(from.c_str(), to.c_str()) != 0) return Win32FromErrno(errno);
    return 0;
}

bool IsTemporaryName(const char* name) {
    for (const char* prefix : {kTempPrefix, kSavePrefix}) {
        std::size_t n = std::strlen(prefix);
        if (std::strncmp(name, prefix, n) != 0) continue;
        const char* rest = name + n;
        if (std::strlen(rest) != 6) return false;
        for (const char* c = rest; *c; ++c) {
            bool alnum =
                (*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z');
            if (!alnum) return false;
        }
        return true;
    }
    return false;
}

}  // namespace

mode_t NewFileMode() {
    // umask can only be read by setting it, so it is read once, before other
    // threads create files.
    static const mode_t mode = [] {
        mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0644 & ~mask);
    }();
    return mode;
}

bool SyncFolder(const std::string& folder) {
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return true;  // nothing more can be done than the file's own sync
    int rc = ::fsync(dir);
    int err = errno;
    ::close(dir);
    errno = err;
    // Some file systems cannot sync a folder; the data itself is synced.
    return rc == 0 || err == EINVAL || err == EROFS;
}

DWORD WriteHostFile(const std::string& host, const char* prefix, Publish publish, mode_t mode,
                    const std::function<DWORD(int fd)>& body) {
    std::string folder = FolderOf(host);
    std::string temp = folder + "/" + prefix + "XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : Win32FromErrno(errno);
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // The lock tells a later clean-up that this file has a live writer; it
    // lasts until the file has its final name.
    ::flock(fd, LOCK_EX | LOCK_NB);
    // Permissions are a courtesy (a FAT volume refuses them).
    ::fchmod(fd, mode);
    DWORD code = body(fd);
    if (!code && ::fsync(fd) != 0) code = Win32FromErrno(errno);
    if (!code) {
        if (publish == Publish::kNoReplace) {
            code = PublishNoReplace(temp, host);
        } else if (::rename(temp.c_str(), host.c_str()) != 0) {
            code = Win32FromErrno(errno);
        }
    }
    // The new name is durable only once the folder is.
    if (!code && !SyncFolder(folder)) code = Win32FromErrno(errno);
    if (::close(fd) != 0 && !code) code = Win32FromErrno(errno);
    if (code) {
        // A name given already is kept: a folder that cannot be synced
        // still holds a complete file.
        struct stat st;
        if (::lstat(temp.c_str(), &st) == 0) ::unlink(temp.c_str());
    }
    return code;
}

DWORD WriteHostFileBytes(const std::string& host, const char* prefix, Publish publish, mode_t mode,
                         const void* data, std::size_t size) {
    return WriteHostFile(host, prefix, publish, mode, [data, size](int fd) -> DWORD {
        const char* p = static_cast<const char*>(data);
        std::size_t left = size;
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Win32FromErrno(errno);
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return 0;
    });
}

namespace {

class MappedImage : public FileImage {
  public:
    MappedImage(void* base, std::size_t size) : base_(base) {
        data_ = static_cast<const std::uint8_t*>(base);
        size_ = size;
    }
    ~MappedImage() override { ::munmap(base_, size_); }

  private:
    void* base_;
};

}  // namespace

namespace {

// Reads the rest of `fd` from its current position. False with errno set.
bool ReadFd(int fd, std::size_t expected, std::vector<std::uint8_t>* out) {
    std::vector<std::uint8_t> data;
    try {
        data.reserve(expected);
        std::uint8_t buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) break;
            data.insert(data.end(), buf, buf + n);
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    *out = std::move(data);
    return true;
}

// fstat of `fd` that refuses a folder with EACCES. False with errno set.
bool StatFile(int fd, struct stat* st) {
    if (::fstat(fd, st) != 0) return false;
    if (!S_ISDIR(st->st_mode)) return true;
    errno = EACCES;
    return false;
}

// Opens `host` for reading, runs `body` on it and closes it, keeping the
// errno that `body` left.
template <typename Body>
auto WithReadFd(const std::string& host, Body body) -> decltype(body(0)) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return decltype(body(0))();
    auto result = body(fd);
    int err = errno;
    ::close(fd);
    errno = err;
    return result;
}

}  // namespace

std::unique_ptr<FileImage> MapHostFd(int fd) {
    try {
        struct stat st;
        if (!StatFile(fd, &st)) return nullptr;
        void* base = MAP_FAILED;
        if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) <= SIZE_MAX) {
            base = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ,
                          MAP_PRIVATE | MAP_POPULATE, fd, 0);
        }
        if (base != MAP_FAILED) {
            auto image = std::unique_ptr<FileImage>();
            try {
                image = std::make_unique<MappedImage>(base, static_cast<std::size_t>(st.st_size));
            } catch (...) {
                ::munmap(base, static_cast<std::size_t>(st.st_size));
                throw;
            }
            return image;
        }
        // Empty, or not mappable (a pipe, a file system without mappings).
        std::vector<std::uint8_t> bytes;
        if (::lseek(fd, 0, SEEK_SET) < 0 && errno != ESPIPE) return nullptr;
        if (!ReadFd(fd, static_cast<std::size_t>(st.st_size), &bytes)) return nullptr;
        return FileImageOfBytes(std::move(bytes));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
}

std::unique_ptr<FileImage> MapHostFile(const std::string& host) {
    return WithReadFd(host, [](int fd) { return MapHostFd(fd); });
}

bool ReadHostFile(const std::string& host, std::vector<std::uint8_t>* out) {
    return WithReadFd(host, [out](int fd) {
        struct stat st;
        return StatFile(fd, &st) && ReadFd(fd, static_cast<std::size_t>(st.st_size), out);
    });
}

int RemoveStaleTemporaryFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        if (IsTemporaryName(e->d_name)) names.push_back(e->d_name);
    }
    ::closedir(dir);
    int removed = 0;
    time_t now = std::time(nullptr);
    for (const std::string& name : names) {
        std::string path = folder + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_uid != ::geteuid() || now - st.st_mtime < kStaleAfterSeconds) continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        bool live = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (!live && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace sabrel::platform::offline
