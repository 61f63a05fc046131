// SPDX-License-Identifier: MIT
#include "platform/offline/dos_attributes.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sabrel::platform::offline {

namespace {

constexpr const char* kXattrName = "user.sabrel.dosattrib";
constexpr DWORD kSettable = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

// An open descriptor of the path, closed on scope exit.
class Fd {
  public:
    explicit Fd(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~Fd() {
        if (fd_ >= 0) {
            int saved = errno;
            ::close(fd_);
            errno = saved;
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool OnFat(int fd) {
    struct statfs fs;
    return fstatfs(fd, &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC;
}

}  // namespace

DWORD ReadDosAttributes(const std::string& hostPath) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) != 0) return kInvalidFileAttributes;
    bool dir = S_ISDIR(st.st_mode);
    Fd fd(hostPath);
    if (fd.get() >= 0 && OnFat(fd.get())) {
        std::uint32_t a = 0;
        if (ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &a) == 0) {
            DWORD r = a & (kSettable | kAttrDirectory);
            return r;
        }
    }
    DWORD attrs = dir ? DWORD{0} : DWORD{kAttrArchive};
    char buf[32];
    ssize_t n = ::getxattr(hostPath.c_str(), kXattrName, buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        char* end = nullptr;
        unsigned long v = std::strtoul(buf, &end, 0);
        if (end != buf) attrs = static_cast<DWORD>(v) & kSettable;
    }
    if (!dir) {
        // The write permission is the truth for read-only.
        attrs &= ~kAttrReadOnly;
        if (!(st.st_mode & S_IWUSR)) attrs |= kAttrReadOnly;
    } else {
        attrs |= kAttrDirectory;
    }
    return attrs;
}

bool WriteDosAttributes(const std::string& hostPath, DWORD attributes) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) != 0) return false;
    bool dir = S_ISDIR(st.st_mode);
    DWORD want = attributes & kSettable;
    Fd fd(hostPath);
    if (fd.get() >= 0 && OnFat(fd.get())) {
        std::uint32_t a = want | (dir ? DWORD{kAttrDirectory} : DWORD{0});
        return ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &a) == 0;
    }
    char buf[16];
    int len = std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(want));
    if (::setxattr(hostPath.c_str(), kXattrName, buf, static_cast<std::size_t>(len), 0) != 0) {
        if (errno != ENOTSUP) return false;
        // Without extended attributes only read-only (the permission) and
        // archive (the default) can be kept.
        if (want & (kAttrHidden | kAttrSystem)) {
            errno = ENOTSUP;
            return false;
        }
    }
    if (!dir) {
        mode_t mode = st.st_mode & 07777;
        mode_t next = (want & kAttrReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
        if (next != mode && ::chmod(hostPath.c_str(), next) != 0) return false;
    }
    return true;
}

}  // namespace sabrel::platform::offline
