// SPDX-License-Identifier: MIT
// One bounds-checked reader for every binary format that Sabrel decodes.
// A read never touches memory outside the span it was given: a read that would
// run past the end fails (or, for Copy, yields only the bytes that remain).
// Fields are decoded little-endian, byte by byte, never by casting file bytes
// onto structs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sabrel {

class ByteReader {
  public:
    ByteReader() = default;
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }

    // True when [offset, offset + length) lies inside the span. Offsets are
    // signed so that negative values from the file are rejected, not wrapped.
    bool Has(std::int64_t offset, std::int64_t length) const {
        return offset >= 0 && length >= 0 && static_cast<std::uint64_t>(offset) <= size_ &&
               static_cast<std::uint64_t>(length) <= size_ - static_cast<std::uint64_t>(offset);
    }

    // Copies up to `length` bytes from `offset` into `out`; returns how many
    // were copied (0 when the offset lies outside the span).
    std::size_t Copy(std::int64_t offset, void* out, std::size_t length) const {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= size_) return 0;
        std::size_t avail = size_ - static_cast<std::size_t>(offset);
        std::size_t n = length < avail ? length : avail;
        if (n) std::memcpy(out, data_ + offset, n);
        return n;
    }

    bool U8(std::int64_t offset, std::uint8_t* v) const {
        if (!Has(offset, 1)) return false;
        *v = data_[offset];
        return true;
    }
    bool U16(std::int64_t offset, std::uint16_t* v) const {
        if (!Has(offset, 2)) return false;
        *v = LoadU16(data_ + offset);
        return true;
    }
    bool U32(std::int64_t offset, std::uint32_t* v) const {
        if (!Has(offset, 4)) return false;
        *v = LoadU32(data_ + offset);
        return true;
    }
    bool I32(std::int64_t offset, std::int32_t* v) const {
        std::uint32_t u;
        if (!U32(offset, &u)) return false;
        *v = static_cast<std::int32_t>(u);
        return true;
    }
    // Compares four signature bytes, case-sensitively.
    bool Sig(std::int64_t offset, const char (&sig)[5]) const {
        return Has(offset, 4) && std::memcmp(data_ + offset, sig, 4) == 0;
    }

    // Decoders for a record already copied into a local buffer.
    static std::uint16_t LoadU16(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    static std::uint32_t LoadU32(const std::uint8_t* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    static std::int32_t LoadI32(const std::uint8_t* p) {
        return static_cast<std::int32_t>(LoadU32(p));
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// The matching little-endian writers, for the formats Sabrel produces.
inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace sabrel
