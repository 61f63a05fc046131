// SPDX-License-Identifier: MIT
// The failures that are raised rather than returned, in one place. Each one
// carries, as what(), the text its handler of last resort shows: the general
// error handler of the user-interface thread (an error box captioned with the
// application title, then the program goes on) or the rebuild worker's (an
// error box captioned "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ", then exit code 1). The texts themselves
// live in the texts table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "common/texts.h"

namespace sabrel {

namespace errors_detail {

// printf with one argument, into a string of the size it needs.
template <typename T>
std::string FormatOne(const char* format, T value) {
    const int n = std::snprintf(nullptr, 0, format, value);
    if (n <= 0) return std::string();
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(&text[0], text.size(), format, value);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

}  // namespace errors_detail

// A file that exists could not be sized or read. `code` is the platform's
// last-error code; what() is "I/O ｴﾗｰ (<code>)". Built without allocating, as
// the checker raises it where memory may be short.
class IoError : public std::exception {
  public:
    explicit IoError(std::uint32_t code) : code_(code) {
        std::snprintf(text_, sizeof text_, texts::kMsgIoError, static_cast<int>(code));
    }
    const char* what() const noexcept override { return text_; }
    std::uint32_t code() const { return code_; }

  private:
    std::uint32_t code_;
    char text_[64];
};

// Memory for a hive image or its index could not be had, or the file is too
// large to be held. Built without allocating, so that it can be raised when
// memory has run out.
class OutOfMemoryError : public std::exception {
  public:
    const char* what() const noexcept override { return texts::kMsgOutOfMemory; }
};

// A ratio over an empty hive.
class ZeroDivideError : public std::runtime_error {
  public:
    ZeroDivideError() : std::runtime_error(texts::kMsgZeroDivide.c_str()) {}
};

// A write to WININIT.INI that the platform refused; what() is
// "<path> に書き込めません".
class WininitWriteError : public std::runtime_error {
  public:
    explicit WininitWriteError(const std::string& path)
        : std::runtime_error(errors_detail::FormatOne(texts::kMsgCannotWrite, path.c_str())) {}
};

// The restore batch file could not be written (the disk is full, the file is
// read-only ...); the backups made before stay on disk. what() is
// "<path> に書き込めません".
class BatchWriteError : public std::runtime_error {
  public:
    BatchWriteError(const std::string& path, std::uint32_t lastError)
        : std::runtime_error(errors_detail::FormatOne(texts::kMsgCannotWrite, path.c_str())),
          path_(path),
          lastError_(lastError) {}
    const std::string& path() const { return path_; }
    std::uint32_t lastError() const { return lastError_; }

  private:
    std::string path_;
    std::uint32_t lastError_;
};

}  // namespace sabrel
