// SPDX-License-Identifier: MIT
#include "platform/offline/win32_errors.h"

#include <cerrno>

namespace sabrel::platform::offline {

namespace {
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorNotSameDevice = 17;
}  // namespace

DWORD Win32FromErrno(int err) {
    switch (err) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
        case ELOOP:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kErrorAccessDenied;
        case EROFS:
            return kErrorWriteProtect;
        case EEXIST:
            return kErrorFileExists;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrorDiskFull;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case ENAMETOOLONG:
            return kErrorFilenameExcedRange;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case EBUSY:
        case ETXTBSY:
            return kErrorSharingViolation;
        case EINVAL:
            return kErrorInvalidParameter;
        case EBADF:
            return kErrorInvalidHandle;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case EXDEV:
            return kErrorNotSameDevice;
        case EILSEQ:
            return kErrorInvalidName;
        default:
            return kErrorGenFailure;
    }
}

DWORD& ThreadLastError() {
    thread_local DWORD code = kErrorSuccess;
    return code;
}

}  // namespace sabrel::platform::offline
