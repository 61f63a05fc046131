// SPDX-License-Identifier: MIT
#include "hive/checker.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"

namespace sabrel::hive {

namespace L = layout;

namespace {

constexpr std::size_t kMaxImage =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

}  // namespace

// When the flag is set but the code page information is unavailable, the code
// page 932 ranges are taken: that is the system the program is made for.
ByteClasses ByteClassesFromPlatform(platform::Platform& p) {
    if (p.GetDbcsEnabled() == 0) return ByteClasses::SingleByte();
    platform::CpInfo info;
    if (!p.GetCPInfo(p.GetACP(), &info)) return ByteClasses::ForCodePage(932);
    ByteClasses c;
    c.dbcs = true;
    for (int i = 0; i + 1 < 12; i += 2) {
        if (info.LeadByte[i] == 0 && info.LeadByte[i + 1] == 0) break;
        c.SetLeadRange(info.LeadByte[i], info.LeadByte[i + 1]);
    }
    return c;
}

HiveCheckResult HiveChecker::Check(const char* path) {
    status = kCheckOk;
    result = HiveCheckResult{};
    std::memset(header_, 0, sizeof header_);

    platform::Platform& p = platform::Get();
    const platform::DWORD attributes = p.GetFileAttributesA(path);
    if (attributes == platform::kInvalidFileAttributes ||
        (attributes & platform::kAttrDirectory) != 0) {
        status = kCheckNoFile;
        return result;
    }
    // The size comes first so that a file beyond the format's reach is
    // refused before anything is allocated for it.
    std::uint64_t size = 0;
    if (!p.GetFileSizeByPath(path, &size)) throw IoError(p.GetLastError());
    if (size > kMaxImage) throw OutOfMemoryError{};
    // Mapped where the platform maps files: the walk reads the file where it
    // lies, without a copy.
    std::unique_ptr<platform::FileImage> image = p.OpenFileImage(path);
    if (!image) {
        const platform::DWORD code = p.GetLastError();
        if (code == platform::kErrorNotEnoughMemory || code == platform::kErrorOutOfMemory) {
            throw OutOfMemoryError{};
        }
        throw IoError(code);
    }
    Run(image->data(), image->size());
    return result;
}

void HiveChecker::CheckImage(const std::uint8_t* data, std::size_t size) {
    status = kCheckOk;
    result = HiveCheckResult{};
    std::memset(header_, 0, sizeof header_);
    Run(data, size);
}

void HiveChecker::Run(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxImage) throw OutOfMemoryError{};
    image_ = data;
    imageSize_ = size;
    walkedInterleaved_ = false;
    try {
        if (CheckHeader()) {
            BuildBlockTable();
            if (status == kCheckOk) BuildKeyIndex();
            if (status == kCheckOk && digestIndex) DigestIndex();
            if (status == kCheckOk) WalkTree();
        }
    } catch (const std::bad_alloc&) {
        Release();
        status = kCheckOk;
        result = HiveCheckResult{};
        throw OutOfMemoryError{};
    }
    Release();
}

// Released in reverse order of making, capacity included, so that nothing of
// a check stays allocated until the next one.
void HiveChecker::Release() {
    SlotMap().swap(overflow_);
    std::vector<std::int32_t>().swap(keyIndex_);
    std::vector<std::int32_t>().swap(blockTable_);
    image_ = nullptr;
    imageSize_ = 0;
}

bool HiveChecker::CheckHeader() {
    const ByteReader r(image_, imageSize_);
    if (r.Copy(0, header_, sizeof header_) < sizeof header_) {
        status = kCheckShortFile;
        return false;
    }
    if (!r.Sig(L::creg::kSignature, L::kCregSignature)) {
        status = kCheckNoCreg;
        return false;
    }
    return true;
}

// A block size is not tested: 0 enters the same block again under the next
// number, and a size leading outside the file fails at the next header.
void HiveChecker::BuildBlockTable() {
    const std::uint16_t count = ByteReader::LoadU16(header_ + L::creg::kBlockCount);
    const ByteReader r(image_, imageSize_);
    blockTable_.assign(count, 0);
    std::int64_t pos = ByteReader::LoadI32(header_ + L::creg::kDataOffset);
    for (std::uint32_t n = 0; n < count; ++n) {
        if (!r.Has(pos, L::rgdb::kSize)) {
            status = kCheckBlockCut;
            return;
        }
        if (!r.Sig(pos + L::rgdb::kSignature, L::kRgdbSignature)) {
            status = kCheckNoRgdb;
            return;
        }
        blockTable_[n] = static_cast<std::int32_t>(pos);
        std::int32_t blockSize = 0;
        r.I32(pos + L::rgdb::kBlockSize, &blockSize);
        pos += blockSize;
    }
}

}  // namespace sabrel::hive
