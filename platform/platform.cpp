// SPDX-License-Identifier: MIT
#include "platform/platform.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace sabrel::platform {

namespace {
Platform* g_current = nullptr;
}

Platform& Get() {
    // Using the platform before start-up chose one is a programming error.
    if (!g_current) std::abort();
    return *g_current;
}

void Set(Platform* platform) {
    g_current = platform;
}

namespace {

// A file read into memory.
class BufferImage : public FileImage {
  public:
    explicit BufferImage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
        data_ = bytes_.data();
        size_ = bytes_.size();
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<FileImage> FileImageOfBytes(std::vector<std::uint8_t> bytes) {
    return std::make_unique<BufferImage>(std::move(bytes));
}

std::unique_ptr<FileImage> Platform::OpenFileImage(const char* path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes)) return nullptr;
    try {
        return FileImageOfBytes(std::move(bytes));
    } catch (const std::bad_alloc&) {
        SetLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
}

bool FileExists(const std::string& path) {
    return Get().GetFileAttributesA(path.c_str()) != kInvalidFileAttributes;
}

}  // namespace sabrel::platform
