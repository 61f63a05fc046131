// SPDX-License-Identifier: MIT
// The Win32 scalar types, file attributes and error numbers, on their own so that code which
// speaks Win32's numbers without calling the platform (the hive format's
// reader and writer) can name them without depending on the platform layer.
// platform/platform.h brings them into sabrel::platform.
#pragma once

#include <cstdint>

namespace sabrel::winapi {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HKEY = std::uintptr_t;
using HMODULE = void*;
using HANDLE = void*;
using REGSAM = DWORD;
using LCID = DWORD;
using LCTYPE = DWORD;

// DOS file attributes (FILE_ATTRIBUTE_*), as the FAT directory entry and the
// LZH header store them too.
enum : DWORD {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
};
constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFFu;

// Win32 error codes that Sabrel produces or looks at.
enum : DWORD {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorBadFormat = 11,
    kErrorInvalidData = 13,
    kErrorOutOfMemory = 14,
    kErrorWriteProtect = 19,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInsufficientBuffer = 122,
    kErrorInvalidName = 123,
    kErrorModNotFound = 126,
    kErrorProcNotFound = 127,
    kErrorDirNotEmpty = 145,
    kErrorBusy = 170,
    kErrorAlreadyExists = 183,
    kErrorFilenameExcedRange = 206,
    kErrorNoMoreFiles = 18,
    kErrorBadPathname = 161,
    kErrorKeyDeleted = 1018,
    kErrorBadregistryFile = 1009,
    kErrorRegistryCorrupt = 1015,
    kErrorRegistryIoFailed = 1016,
    kErrorNotRegistryFile = 1017,
    kErrorInvalidFlags = 1004,
    kErrorCallNotImplemented = 120,
};

}  // namespace sabrel::winapi
