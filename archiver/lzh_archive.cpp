// SPDX-License-Identifier: MIT
#include "archiver/lzh_archive.h"

#include <cstring>

#include "archiver/crc16.h"
#include "archiver/errors.h"
#include "archiver/lh5.h"
#include "common/byte_reader.h"
#include "common/paths.h"

namespace sabrel::archiver {

namespace {

// Fields shared by every header level (offsets from the member start).
constexpr std::size_t kOffMethod = 2;
constexpr std::size_t kMethodSize = 5;
constexpr std::size_t kOffPackedSize = 7;
constexpr std::size_t kOffOriginalSize = 11;
constexpr std::size_t kOffTime = 15;  // DOS time + date (levels 0/1), Unix time (level 2)
constexpr std::size_t kOffAttribute = 19;
constexpr std::size_t kOffLevel = 20;

// Levels 0 and 1: byte 0 is the header size HS (bytes from offset 2), byte 1
// the 8-bit sum of bytes [2, 2 + HS).
constexpr std::size_t kOffHeaderSize = 0;
constexpr std::size_t kOffChecksum = 1;
constexpr std::size_t kOffNameLength = 21;
constexpr std::size_t kOffName = 22;
// After the name: CRC (2), then for level 1 the OS ID (1) and the size of the
// first extended header (2).
constexpr std::size_t kLevel0FixedSize = 24;  // without the name
constexpr std::size_t kLevel1FixedSize = 27;  // without the name
static_assert(kLevel0FixedSize == kOffName + 2, "level 0: name, then CRC");
static_assert(kLevel1FixedSize == kOffName + 2 + 1 + 2, "level 1: name, CRC, OS, next size");

// Level 2: a 16-bit total header size, the data CRC, the OS ID and the size of
// the first extended header.
constexpr std::size_t kOffL2TotalSize = 0;
constexpr std::size_t kOffL2Crc = 21;
constexpr std::size_t kOffL2Os = 23;
constexpr std::size_t kOffL2FirstExt = 24;
constexpr std::size_t kLevel2FixedSize = 26;
static_assert(kLevel2FixedSize == kOffL2FirstExt + 2, "level 2 fixed part");

// Extended headers: [type:1][payload][size of the next one:2].
constexpr std::uint8_t kExtCommon = 0x00;  // level 2: header CRC
constexpr std::uint8_t kExtFileName = 0x01;
constexpr std::uint8_t kExtDirectory = 0x02;
constexpr std::uint8_t kExtAttribute = 0x40;
constexpr std::size_t kExtAttributeSize = 5;

// An SFX stub is searched this far for the archive behind it.
constexpr std::size_t kSfxSearchLimit = std::size_t{4} << 20;
// Places in a stub that look like a header but are none, tried before the
// search gives up. Trying one may walk extended headers up to the end of the
// file, so a crafted program costs at most this many passes over it; a stub
// without method-like bytes (ours) costs none. lhasa gives up after one.
constexpr int kSfxFalseHeaderLimit = 16;

std::uint8_t Sum8(const std::uint8_t* p, std::size_t n) {
    unsigned s = 0;
    for (std::size_t i = 0; i < n; ++i) s += p[i];
    return static_cast<std::uint8_t>(s);
}

bool LooksLikeMethod(const std::uint8_t* m) {
    return m[0] == '-' && m[4] == '-' &&
           ((m[1] == 'l' && (m[2] == 'h' || m[2] == 'z')) || (m[1] == 'p' && m[2] == 'm'));
}

// Walks the extended headers in [pos, limit), starting with `size` (the size
// of the first one). Fills name/attribute and the header CRC's position.
// Returns false when one is malformed or runs past `limit`.
bool ReadExtHeaders(const ByteReader& r, std::size_t pos, std::size_t limit, std::uint16_t size,
                    Member* m, std::size_t* endPos, std::int64_t* crcPos) {
    std::string dir;
    std::string name = m->name;
    while (size != 0) {
        if (size < 3 || pos + size > limit) return false;
        std::uint8_t type = 0;
        r.U8(static_cast<std::int64_t>(pos), &type);
        const std::uint8_t* payload = r.data() + pos + 1;
        std::size_t payloadSize = size - 3u;
        if (type == kExtCommon && payloadSize >= 2 && crcPos) {
            *crcPos = static_cast<std::int64_t>(pos + 1);
        } else if (type == kExtFileName) {
            name.assign(reinterpret_cast<const char*>(payload), payloadSize);
        } else if (type == kExtDirectory) {
            dir.assign(reinterpret_cast<const char*>(payload), payloadSize);
            for (char& c : dir)
                if (static_cast<unsigned char>(c) == 0xFF) c = '\\';
        } else if (type == kExtAttribute && payloadSize >= 2) {
            m->attribute = payload[0];
        }
        std::size_t current = size;
        r.U16(static_cast<std::int64_t>(pos + current - 2), &size);
        pos += current;
    }
    // A folder that ends in a trail byte 0x5C still needs its separator.
    if (!dir.empty()) dir = TrimTrailingSeparators(dir) + '\\';
    m->name = dir + name;
    *endPos = pos;
    return true;
}

// Parses the member at `pos`. kOk, kErrorHeaderBroken or kErrorHeaderCrc.
int ParseMember(const ByteReader& r, std::size_t pos, Member* m) {
    const std::uint8_t* h = r.data() + pos;
    if (!r.Has(static_cast<std::int64_t>(pos), kLevel2FixedSize)) return kErrorHeaderBroken;
    if (!LooksLikeMethod(h + kOffMethod)) return kErrorHeaderBroken;
    m->headerOffset = pos;
    std::memcpy(m->method, h + kOffMethod, kMethodSize);
    m->method[kMethodSize] = 0;
    m->packedSize = ByteReader::LoadU32(h + kOffPackedSize);
    m->originalSize = ByteReader::LoadU32(h + kOffOriginalSize);
    m->level = h[kOffLevel];
    std::size_t dataOffset = 0;

    if (m->level == 0 || m->level == 1) {
        std::size_t hs = h[kOffHeaderSize];
        std::size_t nameLen = h[kOffNameLength];
        std::size_t fixed = m->level == 0 ? kLevel0FixedSize : kLevel1FixedSize;
        if (2 + hs < fixed + nameLen || !r.Has(static_cast<std::int64_t>(pos), 2 + hs))
            return kErrorHeaderBroken;
        if (Sum8(h + 2, hs) != h[kOffChecksum]) return kErrorHeaderCrc;
        m->dosTime = ByteReader::LoadU16(h + kOffTime);
        m->dosDate = ByteReader::LoadU16(h + kOffTime + 2);
        m->name.assign(reinterpret_cast<const char*>(h + kOffName), nameLen);
        m->crc = ByteReader::LoadU16(h + kOffName + nameLen);
        if (m->level == 0) {
            m->attribute = h[kOffAttribute];
            dataOffset = pos + 2 + hs;
        } else {
            m->attribute = 0x20;
            m->osId = h[kOffName + nameLen + 2];
            std::uint16_t first = ByteReader::LoadU16(h + 2 + hs - 2);
            std::size_t extEnd = 0;
            if (!ReadExtHeaders(r, pos + 2 + hs, r.size(), first, m, &extEnd, nullptr))
                return kErrorHeaderBroken;
            std::size_t extTotal = extEnd - (pos + 2 + hs);
            if (m->packedSize < extTotal) return kErrorHeaderBroken;
            m->packedSize -= static_cast<std::uint32_t>(extTotal);
            dataOffset = extEnd;
        }
    } else if (m->level == 2) {
        std::size_t total = ByteReader::LoadU16(h + kOffL2TotalSize);
        if (total < kLevel2FixedSize || !r.Has(static_cast<std::int64_t>(pos), total))
            return kErrorHeaderBroken;
        m->unixTime = ByteReader::LoadU32(h + kOffTime);
        m->crc = ByteReader::LoadU16(h + kOffL2Crc);
        m->osId = h[kOffL2Os];
        m->attribute = 0x20;
        std::uint16_t first = ByteReader::LoadU16(h + kOffL2FirstExt);
        std::size_t extEnd = 0;
        std::int64_t crcPos = -1;
        if (!ReadExtHeaders(r, pos + kLevel2FixedSize, pos + total, first, m, &extEnd, &crcPos))
            return kErrorHeaderBroken;
        if (crcPos >= 0) {
            std::vector<std::uint8_t> copy(h, h + total);
            std::size_t at = static_cast<std::size_t>(crcPos) - pos;
            std::uint16_t stored = ByteReader::LoadU16(copy.data() + at);
            copy[at] = copy[at + 1] = 0;
            if (Crc16(copy.data(), copy.size()) != stored) return kErrorHeaderCrc;
        }
        dataOffset = pos + total;
    } else {
        return kErrorHeaderBroken;
    }
    if (m->name.empty()) return kErrorHeaderBroken;
    if (!r.Has(static_cast<std::int64_t>(dataOffset), m->packedSize)) return kErrorHeaderBroken;
    m->dataOffset = dataOffset;
    return kOk;
}

}  // namespace

int ParseArchive(const std::uint8_t* data, std::size_t size, Archive* out) {
    ByteReader r(data, size);
    *out = Archive{};
    std::size_t pos = 0;
    if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
        // The first place that holds a valid header; the stub never contains
        // bytes that look like a method name.
        bool found = false;
        int falseHeaders = 0;
        std::size_t limit = size < kSfxSearchLimit ? size : kSfxSearchLimit;
        for (std::size_t i = 0; i + kLevel2FixedSize <= limit; ++i) {
            if (!LooksLikeMethod(data + i + kOffMethod)) continue;
            Member probe;
            if (ParseMember(r, i, &probe) == kOk) {
                pos = i;
                found = true;
                break;
            }
            if (++falseHeaders == kSfxFalseHeaderLimit) break;
        }
        if (!found) return kErrorNotArcFile;
    }
    out->start = pos;
    while (pos < size && data[pos] != 0) {
        Member m;
        int rc = ParseMember(r, pos, &m);
        if (rc != kOk) return out->members.empty() && pos == out->start ? kErrorNotArcFile : rc;
        pos = m.dataOffset + m.packedSize;
        out->members.push_back(std::move(m));
    }
    out->end = pos;
    return kOk;
}

int VerifyMember(const std::uint8_t* data, const Member& m, std::vector<std::uint8_t>* decoded) {
    if (decoded) decoded->clear();
    const std::uint8_t* packed = data + m.dataOffset;
    const std::string method(m.method);
    if (method == "-lhd-") return kOk;
    std::uint16_t crc = 0;
    if (method == "-lh0-" || method == "-lz4-") {
        if (m.packedSize != m.originalSize) return kErrorHuffmanCode;
        if (decoded) decoded->assign(packed, packed + m.packedSize);
        crc = Crc16(packed, m.packedSize);
    } else {
        const int dictBits = method == "-lh4-"   ? 12
                             : method == "-lh5-" ? 13
                             : method == "-lh6-" ? 15
                             : method == "-lh7-" ? 16
                                                 : 0;
        if (dictBits == 0) return kErrorMethod;
        struct Context {
            std::uint16_t crc;
            std::vector<std::uint8_t>* out;
        } ctx{0, decoded};
        Lh5Result r = Lh5DecodeTo(
            packed, m.packedSize, m.originalSize, dictBits,
            [](void* p, const std::uint8_t* bytes, std::size_t size) {
                auto* c = static_cast<Context*>(p);
                c->crc = Crc16Update(c->crc, bytes, size);
                if (c->out) c->out->insert(c->out->end(), bytes, bytes + size);
            },
            &ctx);
        if (r != Lh5Result::kOk) return kErrorHuffmanCode;
        crc = ctx.crc;
    }
    return crc == m.crc ? kOk : kErrorFileCrc;
}

bool IsStubMethod(const Member& m) {
    return std::strcmp(m.method, "-lh0-") == 0 || std::strcmp(m.method, "-lh5-") == 0;
}

std::vector<std::uint8_t> MakeLevel1Member(const NewMember& info, const std::uint8_t* packed,
                                           std::size_t packedSize) {
    const std::size_t n = info.name.size();
    const std::size_t hs = kLevel1FixedSize - 2 + n;
    std::vector<std::uint8_t> out(2 + hs + kExtAttributeSize);
    std::uint8_t* h = out.data();
    h[kOffHeaderSize] = static_cast<std::uint8_t>(hs);
    std::memcpy(h + kOffMethod, info.method, kMethodSize);
    StoreU32(h + kOffPackedSize, static_cast<std::uint32_t>(packedSize + kExtAttributeSize));
    StoreU32(h + kOffOriginalSize, info.originalSize);
    StoreU16(h + kOffTime, info.dosTime);
    StoreU16(h + kOffTime + 2, info.dosDate);
    h[kOffAttribute] = 0x20;
    h[kOffLevel] = 1;
    h[kOffNameLength] = static_cast<std::uint8_t>(n);
    std::memcpy(h + kOffName, info.name.data(), n);
    StoreU16(h + kOffName + n, info.crc);
    h[kOffName + n + 2] = 'M';
    StoreU16(h + kOffName + n + 3, kExtAttributeSize);
    h[kOffChecksum] = Sum8(h + 2, hs);
    std::uint8_t* ext = h + 2 + hs;
    ext[0] = kExtAttribute;
    StoreU16(ext + 1, info.attribute);
    StoreU16(ext + 3, 0);
    out.insert(out.end(), packed, packed + packedSize);
    return out;
}

std::vector<std::uint8_t> PackMember(NewMember info, const std::uint8_t* data, std::size_t size) {
    info.originalSize = static_cast<std::uint32_t>(size);
    info.crc = Crc16(data, size);
    if (size > 0) {
        std::vector<std::uint8_t> packed = Lh5Encode(data, size);
        if (packed.size() < size) {
            std::vector<std::uint8_t> check;
            if (Lh5Decode(packed.data(), packed.size(), size, &check) == Lh5Result::kOk &&
                check.size() == size && std::memcmp(check.data(), data, size) == 0) {
                info.method = "-lh5-";
                return MakeLevel1Member(info, packed.data(), packed.size());
            }
        }
    }
    info.method = "-lh0-";
    return MakeLevel1Member(info, data, size);
}

bool SameDosName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsSjisLeadByte(x)) {
            if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace sabrel::archiver
