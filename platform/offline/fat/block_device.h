// SPDX-License-Identifier: MIT
// Byte-addressed storage under the FAT engine: an image file, a window onto
// part of one (a partition), or memory (the parsers' fuzz target). Every read
// and write is checked against the device's size first, so a value taken from
// a corrupt table can never reach outside the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sabrel::platform::offline::fat {

class BlockDevice {
  public:
    virtual ~BlockDevice() = default;
    virtual std::uint64_t Size() const = 0;
    // False when [offset, offset + length) is not inside the device or the
    // host refuses the transfer.
    virtual bool Read(std::uint64_t offset, void* out, std::size_t length) = 0;
    virtual bool Write(std::uint64_t offset, const void* data, std::size_t length) = 0;
    virtual bool Flush() = 0;
    // Makes the device `size` bytes long, with `tail` as its last `length`
    // bytes and zeros between its old end and them; a container that
    // allocates space as it goes (a dynamic VHD) grows its file this way.
    // False when the device cannot grow or `size` does not lie past its end.
    virtual bool Grow(std::uint64_t size, const void* tail, std::size_t length) {
        (void)size, (void)tail, (void)length;
        return false;
    }

  protected:
    bool Inside(std::uint64_t offset, std::uint64_t length) const {
        return offset <= Size() && length <= Size() - offset;
    }
};

class MemoryDevice : public BlockDevice {
  public:
    explicit MemoryDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t length) override;
    bool Write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool Flush() override { return true; }
    bool Grow(std::uint64_t size, const void* tail, std::size_t length) override;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// The exit status of a process that SABREL_IMAGE_KILL_AT ended.
constexpr int kKilledAtWrite = 86;

// An image file, opened read-write (or read-only) and locked exclusively for
// as long as the object lives, so that a second Sabrel cannot write the same
// volume at the same time.
class FileDevice : public BlockDevice {
  public:
    enum class OpenError { kNone, kNotFound, kAccess, kLocked, kIo };
    static std::unique_ptr<FileDevice> Open(const std::string& path, bool writable,
                                            OpenError* error);
    ~FileDevice() override;
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) override;
    bool Write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool Flush() override;
    bool Grow(std::uint64_t size, const void* tail, std::size_t length) override;

  private:
    FileDevice(int fd, std::uint64_t size, bool writable)
        : fd_(fd), size_(size), writable_(writable) {}
    int fd_;
    std::uint64_t size_;
    bool writable_;
};

// The bytes [first, first + length) of another device, as a device of its own.
class SliceDevice : public BlockDevice {
  public:
    SliceDevice(BlockDevice* base, std::uint64_t first, std::uint64_t length);
    std::uint64_t Size() const override { return length_; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) override;
    bool Write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool Flush() override { return base_->Flush(); }

  private:
    BlockDevice* base_;
    std::uint64_t first_;
    std::uint64_t length_;
};

}  // namespace sabrel::platform::offline::fat
