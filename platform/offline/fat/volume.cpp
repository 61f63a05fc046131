// SPDX-License-Identifier: MIT
#include "platform/offline/fat/volume.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "common/byte_reader.h"
#include "platform/offline/short_names.h"

namespace sabrel::platform::offline::fat {

namespace {

// One 32-byte directory entry.
constexpr std::size_t kSlot = 32;
constexpr std::int64_t kName = 0;  // 11 bytes: 8 of name, 3 of extension
constexpr std::int64_t kAttr = 11;
constexpr std::int64_t kCreatedTime = 14;
constexpr std::int64_t kCreatedDate = 16;
constexpr std::int64_t kAccessDate = 18;
constexpr std::int64_t kClusterHigh = 20;
constexpr std::int64_t kWrittenTime = 22;
constexpr std::int64_t kWrittenDate = 24;
constexpr std::int64_t kClusterLow = 26;
constexpr std::int64_t kSize = 28;
static_assert(kSize + 4 == kSlot, "the size ends the entry");
// A long-name entry: its order byte, 13 UTF-16 units in three runs, the checksum.
constexpr std::int64_t kOrder = 0;
constexpr std::int64_t kLfnRun1 = 1;  // 5 units
constexpr std::int64_t kLfnChecksum = 13;
constexpr std::int64_t kLfnRun2 = 14;  // 6 units
constexpr std::int64_t kLfnRun3 = 28;  // 2 units
constexpr std::int64_t kLfnRuns[13] = {kLfnRun1,     kLfnRun1 + 2, kLfnRun1 + 4,  kLfnRun1 + 6,
                                       kLfnRun1 + 8, kLfnRun2,     kLfnRun2 + 2,  kLfnRun2 + 4,
                                       kLfnRun2 + 6, kLfnRun2 + 8, kLfnRun2 + 10, kLfnRun3,
                                       kLfnRun3 + 2};
static_assert(kLfnRun1 + 10 == kAttr && kLfnRun2 + 12 == kClusterLow && kLfnRun3 + 4 == kSlot,
              "the three runs sit around the attribute, checksum and cluster fields");
constexpr std::uint8_t kLastLfn = 0x40;
constexpr std::uint8_t kDeleted = 0xE5;
constexpr std::uint8_t kE5Stored = 0x05;  // a name starting with byte E5 is stored as 05
constexpr std::size_t kMaxLongName = 255;
constexpr std::uint32_t kMaxFolderSlots = 65536;
// Up to this many bytes, a run of clusters that ends a file is copied to be
// padded and written in one piece; longer runs are not copied.
constexpr std::size_t kPaddedCopyLimit = 1 << 20;  // 2 MiB, the most a FAT folder may hold

// FSInfo sector fields (FAT32).
constexpr std::int64_t kFsInfoLead = 0;
constexpr std::int64_t kFsInfoStruct = 484;
constexpr std::int64_t kFsInfoFree = 488;
constexpr std::int64_t kFsInfoNext = 492;

bool Utf8ToUtf16(const std::string& in, std::u16string* out) {
    out->clear();
    for (std::size_t i = 0; i < in.size();) {
        auto c = static_cast<std::uint8_t>(in[i]);
        std::uint32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            return false;
        }
        if (i + len > in.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            auto t = static_cast<std::uint8_t>(in[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return true;
}

bool Utf16ToUtf8(const std::u16string& in, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint32_t cp = in[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp < 0xE000) {
            return false;
        }
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

// "NAME.EXT" from the 11 stored bytes (still in the OEM code page).
std::string ShortNameText(const std::uint8_t* raw) {
    std::string base(reinterpret_cast<const char*>(raw), 8),
        ext(reinterpret_cast<const char*>(raw + 8), 3);
    if (!base.empty() && static_cast<std::uint8_t>(base[0]) == kE5Stored) base[0] = '\xE5';
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    return ext.empty() ? base : base + "." + ext;
}

// The 11 stored bytes of an alias made by ShortNameBasis (one period at most).
void ShortNameRaw(const std::string& alias, std::uint8_t* raw) {
    std::memset(raw, ' ', 11);
    std::size_t dot = alias.rfind('.');
    std::string base = dot == std::string::npos ? alias : alias.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : alias.substr(dot + 1);
    std::memcpy(raw, base.data(), std::min<std::size_t>(base.size(), 8));
    std::memcpy(raw + 8, ext.data(), std::min<std::size_t>(ext.size(), 3));
    if (raw[0] == kDeleted) raw[0] = kE5Stored;
}

std::uint32_t FirstCluster(const ByteReader& r, std::int64_t at, FatType type) {
    std::uint16_t lo = 0, hi = 0;
    r.U16(at + kClusterLow, &lo);
    if (type == FatType::kFat32) r.U16(at + kClusterHigh, &hi);
    return (std::uint32_t{hi} << 16) | lo;
}

void PutCluster(std::uint8_t* slot, std::uint32_t cluster) {
    StoreU16(slot + kClusterHigh, static_cast<std::uint16_t>(cluster >> 16));
    StoreU16(slot + kClusterLow, static_cast<std::uint16_t>(cluster));
}

// The alias basis with every double-byte character whose trail byte is 0x5C
// replaced by '_', and *exact cleared when one was. Windows 95 keeps such
// characters (ソ, 表, 能...) in the aliases it makes, and DBCS-aware DOS reads
// them; but fsck.fat and other tools that are not DBCS-aware take the 0x5C
// for a path separator, call the entry bad and rename it, which would break
// the short paths that the restore batch relies on. So the aliases made here
// never hold that byte, as they never hold other characters that tools
// cannot take; any valid alias is read by Windows all the same. Aliases that
// are already on the volume are read and kept as they are.
std::string WithoutTrail5C(const std::string& basis, const CodePage& cp, bool* exact) {
    std::string out;
    for (std::size_t i = 0; i < basis.size(); ++i) {
        auto c = static_cast<std::uint8_t>(basis[i]);
        if (cp.IsLeadByte(c) && i + 1 < basis.size()) {
            if (basis[i + 1] == '\\') {
                out += '_';
                *exact = false;
            } else {
                out += basis.substr(i, 2);
            }
            ++i;
        } else {
            out += basis[i];
        }
    }
    return out;
}

}  // namespace

std::uint8_t ShortNameChecksum(const std::uint8_t* name11) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

DosStamp DosStamp::FromTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    // A time outside what FAT can hold becomes its first or last moment,
    // not a clamped year with the original month and day.
    const int year = tm.tm_year + 1900;
    if (year < 1980) return DosStamp{(1 << 5) | 1, 0};
    if (year > 2107) return DosStamp{(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};
    DosStamp s;
    s.date = static_cast<std::uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    // A leap second (tm_sec 60) still fits the 2-second field.
    const int halves = std::min(tm.tm_sec / 2, 29);
    s.time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | halves);
    return s;
}

// A folder's slots: its bytes, and where each run of them lies on the volume.
struct Volume::Folder {
    std::uint32_t first = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> chain;  // empty for a FAT12/16 root
    std::uint32_t Slots() const { return static_cast<std::uint32_t>(bytes.size() / kSlot); }
};

std::unique_ptr<Volume> Volume::Open(BlockDevice* device, const CodePage* oem, const CodePage* ansi,
                                     FatError* error) {
    std::vector<std::uint8_t> first(4096);
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(device->Size(), first.size()));
    first.resize(n);
    BootSector boot;
    if (!device->Read(0, first.data(), n) ||
        !ParseBootSector(first.data(), first.size(), device->Size(), &boot)) {
        *error = FatError::kCorrupt;
        return nullptr;
    }
    std::unique_ptr<Volume> v(new Volume);
    v->device_ = device;
    v->oem_ = oem;
    v->ansi_ = ansi;
    v->boot_ = boot;
    v->fat_.resize(boot.fatBytes);
    if (!device->Read(boot.fatOffset, v->fat_.data(), v->fat_.size())) {
        *error = FatError::kIo;
        return nullptr;
    }
    for (std::uint32_t c = 2; c < boot.clusterCount + 2; ++c)
        if (v->Entry(c) == 0) ++v->freeClusters_;
    *error = FatError::kNone;
    return v;
}

std::uint32_t Volume::Entry(std::uint32_t cluster) const {
    switch (boot_.type) {
        case FatType::kFat12: {
            std::size_t at = cluster + cluster / 2;
            std::uint16_t v = ByteReader::LoadU16(&fat_[at]);
            return (cluster & 1) ? v >> 4 : v & 0xFFF;
        }
        case FatType::kFat16:
            return ByteReader::LoadU16(&fat_[std::size_t{cluster} * 2]);
        case FatType::kFat32:
            return ByteReader::LoadU32(&fat_[std::size_t{cluster} * 4]) & 0x0FFFFFFF;
    }
    return 0;
}

void Volume::SetEntry(std::uint32_t cluster, std::uint32_t value) {
    std::size_t at = 0, len = 0;
    switch (boot_.type) {
        case FatType::kFat12: {
            at = cluster + cluster / 2;
            len = 2;
            std::uint16_t v = ByteReader::LoadU16(&fat_[at]);
            v = (cluster & 1) ? static_cast<std::uint16_t>((v & 0x000F) | (value << 4))
                              : static_cast<std::uint16_t>((v & 0xF000) | (value & 0xFFF));
            StoreU16(&fat_[at], v);
            break;
        }
        case FatType::kFat16:
            at = std::size_t{cluster} * 2;
            len = 2;
            StoreU16(&fat_[at], static_cast<std::uint16_t>(value));
            break;
        case FatType::kFat32: {
            at = std::size_t{cluster} * 4;
            len = 4;
            // The top four bits are reserved and kept as they are.
            std::uint32_t old = ByteReader::LoadU32(&fat_[at]);
            StoreU32(&fat_[at], (old & 0xF0000000) | (value & 0x0FFFFFFF));
            break;
        }
    }
    if (dirtyBegin_ == dirtyEnd_) {
        dirtyBegin_ = at;
        dirtyEnd_ = at + len;
    } else {
        dirtyBegin_ = std::min(dirtyBegin_, at);
        dirtyEnd_ = std::max(dirtyEnd_, at + len);
    }
}

bool Volume::IsEnd(std::uint32_t value) const {
    switch (boot_.type) {
        case FatType::kFat12:
            return value >= 0xFF8;
        case FatType::kFat16:
            return value >= 0xFFF8;
        case FatType::kFat32:
            return value >= 0x0FFFFFF8;
    }
    return true;
}

std::uint32_t EndOfChain(FatType type) {
    return type == FatType::kFat12 ? 0xFFF : type == FatType::kFat16 ? 0xFFFF : 0x0FFFFFFF;
}

FatError Volume::Chain(std::uint32_t first, std::vector<std::uint32_t>* out) const {
    out->clear();
    if (first == 0) return FatError::kNone;
    std::uint32_t c = first;
    while (true) {
        if (!IsData(c) || out->size() >= boot_.clusterCount) return FatError::kCorrupt;
        out->push_back(c);
        std::uint32_t next = Entry(c);
        if (IsEnd(next)) return FatError::kNone;
        c = next;
    }
}

FatError Volume::Allocate(std::size_t count, std::vector<std::uint32_t>* out) {
    out->clear();
    if (count > freeClusters_) return FatError::kDiskFull;
    std::uint32_t total = boot_.clusterCount;
    std::uint32_t c = IsData(nextFree_) ? nextFree_ : 2;
    for (std::uint32_t scanned = 0; out->size() < count && scanned < total; ++scanned) {
        if (Entry(c) == 0) out->push_back(c);
        c = c + 1 < total + 2 ? c + 1 : 2;
    }
    if (out->size() < count) return FatError::kDiskFull;
    // Linked in memory only; FlushFat puts the chain on disk after the data.
    for (std::size_t i = 0; i < out->size(); ++i)
        SetEntry((*out)[i], i + 1 < out->size() ? (*out)[i + 1] : EndOfChain(boot_.type));
    freeClusters_ -= static_cast<std::uint32_t>(count);
    nextFree_ = c;
    return FatError::kNone;
}

void Volume::Free(const std::vector<std::uint32_t>& chain) {
    for (std::uint32_t c : chain) {
        SetEntry(c, 0);
        ++freeClusters_;
    }
}

FatError Volume::FlushFat() {
    if (dirtyBegin_ == dirtyEnd_) return FatError::kNone;
    // What the new chains hold reaches the disk before the chains do, and the
    // chains before any entry that names them.
    if (!device_->Flush()) return FatError::kIo;
    for (std::uint32_t copy = 0; copy < boot_.fatCount; ++copy) {
        std::uint64_t at = boot_.fatOffset + copy * boot_.fatBytes + dirtyBegin_;
        if (!device_->Write(at, &fat_[dirtyBegin_], dirtyEnd_ - dirtyBegin_)) return FatError::kIo;
    }
    dirtyBegin_ = dirtyEnd_ = 0;
    return device_->Flush() ? FatError::kNone : FatError::kIo;
}

void Volume::UpdateFsInfo() {
    if (boot_.type != FatType::kFat32 || boot_.fsInfoSector == 0) return;
    std::uint64_t at = std::uint64_t{boot_.fsInfoSector} * boot_.bytesPerSector;
    std::uint8_t sector[512];
    if (!device_->Read(at, sector, sizeof sector)) return;
    ByteReader r(sector, sizeof sector);
    if (!r.Sig(kFsInfoLead, "RRaA") || !r.Sig(kFsInfoStruct, "rrAa")) return;
    StoreU32(sector + kFsInfoFree, freeClusters_);
    StoreU32(sector + kFsInfoNext, nextFree_);
    device_->Write(at, sector, sizeof sector);
}

FatError Volume::WriteClusters(const std::vector<std::uint32_t>& chain, const std::string& data) {
    return WriteClusters(chain, data.data(), data.size());
}

FatError Volume::WriteClusters(const std::vector<std::uint32_t>& chain, const char* data,
                               std::size_t size) {
    // Runs of consecutive clusters go out in one write, straight from the
    // caller's bytes; the tail of the last cluster is zeroed so that no old
    // bytes linger in the new file.
    std::size_t done = 0;
    for (std::size_t i = 0; i < chain.size();) {
        std::size_t j = i + 1;
        while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
        std::size_t bytes = (j - i) * boot_.clusterBytes;
        std::size_t have = done < size ? std::min(bytes, size - done) : 0;
        std::uint64_t at = ClusterOffset(chain[i]);
        if (have == bytes) {
            if (!device_->Write(at, data + done, have)) return FatError::kIo;
        } else if (bytes <= kPaddedCopyLimit) {
            // A short run with the file's tail goes out padded, in one write.
            std::string run(data + done, have);
            run.resize(bytes, '\0');
            if (!device_->Write(at, run.data(), run.size())) return FatError::kIo;
        } else {
            // A long one: all but its last cluster from the bytes, then that one padded.
            std::size_t whole = (have / boot_.clusterBytes) * boot_.clusterBytes;
            if (whole > 0 && !device_->Write(at, data + done, whole)) return FatError::kIo;
            std::string last(data + done + whole, have - whole);
            last.resize(bytes - whole, '\0');
            if (!device_->Write(at + whole, last.data(), last.size())) return FatError::kIo;
        }
        done += bytes;
        i = j;
    }
    return FatError::kNone;
}

FatError Volume::LoadFolder(std::uint32_t first, Folder* out) {
    out->first = first;
    out->chain.clear();
    if (first == 0) {
        if (boot_.type == FatType::kFat32) return FatError::kCorrupt;
        out->bytes.resize(std::size_t{boot_.rootEntries} * kSlot);
        return device_->Read(boot_.rootDirOffset, out->bytes.data(), out->bytes.size())
                   ? FatError::kNone
                   : FatError::kIo;
    }
    FatError e = Chain(first, &out->chain);
    if (e != FatError::kNone) return e;
    if (std::uint64_t{out->chain.size()} * boot_.clusterBytes > kMaxFolderSlots * kSlot)
        return FatError::kCorrupt;
    out->bytes.resize(out->chain.size() * boot_.clusterBytes);
    for (std::size_t i = 0; i < out->chain.size(); ++i)
        if (!device_->Read(ClusterOffset(out->chain[i]), &out->bytes[i * boot_.clusterBytes],
                           boot_.clusterBytes))
            return FatError::kIo;
    return FatError::kNone;
}

FatError Volume::WriteSlots(const Folder& folder, std::uint32_t slot, const std::uint8_t* bytes,
                            std::size_t count) {
    // Slots that share a cluster go out together, so a run of long-name
    // entries and their short entry is one write when they fit in one cluster.
    std::size_t i = 0;
    while (i < count) {
        std::uint64_t byte = std::uint64_t{slot + i} * kSlot;
        std::uint64_t at;
        std::size_t n;
        if (folder.chain.empty()) {
            at = boot_.rootDirOffset + byte;
            n = count - i;
        } else {
            std::size_t index = static_cast<std::size_t>(byte / boot_.clusterBytes);
            std::uint32_t within = static_cast<std::uint32_t>(byte % boot_.clusterBytes);
            if (index >= folder.chain.size()) return FatError::kCorrupt;
            at = ClusterOffset(folder.chain[index]) + within;
            n = std::min<std::size_t>(count - i, (boot_.clusterBytes - within) / kSlot);
        }
        if (!device_->Write(at, bytes + i * kSlot, n * kSlot)) return FatError::kIo;
        i += n;
    }
    return FatError::kNone;
}

bool Volume::OemToAnsi(const std::string& oem, std::string* ansi) const {
    if (oem_->number() == ansi_->number()) {
        *ansi = oem;
        return true;
    }
    std::string utf8;
    return oem_->ToHost(oem, &utf8) && ansi_->FromHost(utf8, ansi);
}

bool Volume::AnsiToOem(const std::string& ansi, std::string* oem) const {
    if (oem_->number() == ansi_->number()) {
        *oem = ansi;
        return true;
    }
    std::string utf8;
    bool lossless = false;
    return ansi_->ToHost(ansi, &utf8) && oem_->FromHost(utf8, oem, &lossless) && lossless;
}

FatError Volume::Parse(const Folder& folder, std::vector<DirEntry>* out) {
    // Long-name entries are gathered backwards from their short entry: they
    // count down from the one marked last to 1, each with the checksum of the
    // short name. A run that breaks these rules is ignored and the entry is
    // known by its alias, as Windows does.
    out->clear();
    ByteReader r(folder.bytes.data(), folder.bytes.size());
    std::u16string pending;
    int expect = 0;  // the order number the next long-name entry must have
    std::uint8_t sum = 0;
    std::uint32_t runStart = 0;
    bool runValid = false;
    for (std::uint32_t s = 0; s < folder.Slots(); ++s) {
        std::int64_t at = std::int64_t{s} * kSlot;
        std::uint8_t first = 0, attributes = 0;
        r.U8(at + kName, &first);
        r.U8(at + kAttr, &attributes);
        if (first == 0) break;  // nothing is stored past the end marker
        if (first == kDeleted) {
            runValid = false;
            continue;
        }
        if ((attributes & 0x3F) == attr::kLongName) {
            std::uint8_t order = first, check = 0;
            r.U8(at + kLfnChecksum, &check);
            std::u16string part;
            bool ended = false;
            for (std::int64_t off : kLfnRuns) {
                std::uint16_t unit = 0;
                r.U16(at + off, &unit);
                if (ended || unit == 0) {
                    ended = true;
                    continue;
                }
                part.push_back(static_cast<char16_t>(unit));
            }
            if (order & kLastLfn) {
                expect = order & 0x1F;
                runValid = expect >= 1;
                sum = check;
                runStart = s;
                pending = part;
            } else if (runValid && (order & 0x1F) == expect && check == sum) {
                pending = part + pending;
            } else {
                runValid = false;
            }
            // A last-marked entry must be full unless it is also the only one
            // of its run; parts before it (lower numbers) always are.
            if (runValid && !(order & kLastLfn) && part.size() != 13) runValid = false;
            --expect;
            continue;
        }
        if (attributes & attr::kVolumeLabel) {
            runValid = false;
            continue;
        }
        DirEntry e;
        std::uint8_t raw[11];
        r.Copy(at + kName, raw, sizeof raw);
        std::string alias = ShortNameText(raw);
        bool dots = alias == "." || alias == "..";
        bool longOk = runValid && expect == 0 && ShortNameChecksum(raw) == sum &&
                      pending.size() <= kMaxLongName && !pending.empty();
        runValid = false;
        if (dots) continue;
        if (!OemToAnsi(alias, &e.shortName)) e.shortName = alias;
        std::string utf8;
        if (longOk && Utf16ToUtf8(pending, &utf8) && ansi_->FromHost(utf8, &e.name)) {
            e.hasLongName = true;
            e.firstSlot = runStart;
        } else {
            e.name = e.shortName;
            e.firstSlot = s;
        }
        e.attributes = attributes;
        e.firstCluster = FirstCluster(r, at, boot_.type);
        r.U32(at + kSize, &e.size);
        r.U16(at + kCreatedTime, &e.created.time);
        r.U16(at + kCreatedDate, &e.created.date);
        r.U16(at + kWrittenTime, &e.written.time);
        r.U16(at + kWrittenDate, &e.written.date);
        r.U16(at + kAccessDate, &e.accessDate);
        e.folder = folder.first;
        e.slot = s;
        out->push_back(e);
    }
    return FatError::kNone;
}

FatError Volume::List(std::uint32_t folder, std::vector<DirEntry>* out) {
    Folder f;
    FatError e = LoadFolder(folder, &f);
    return e != FatError::kNone ? e : Parse(f, out);
}

FatError Volume::FindIn(std::uint32_t folder, const std::string& name, DirEntry* out) {
    std::vector<DirEntry> entries;
    FatError e = List(folder, &entries);
    if (e != FatError::kNone) return e;
    for (const DirEntry& d : entries) {
        if (ansi_->EqualNoCase(d.name, name) || ansi_->EqualNoCase(d.shortName, name)) {
            *out = d;
            return FatError::kNone;
        }
    }
    return FatError::kNotFound;
}

std::vector<std::string> PathComponents(const std::string& path, const CodePage& cp) {
    std::vector<std::string> parts;
    std::string cur;
    for (std::size_t i = 0; i < path.size(); ++i) {
        auto c = static_cast<std::uint8_t>(path[i]);
        if (cp.IsLeadByte(c) && i + 1 < path.size()) {
            cur += path.substr(i, 2);
            ++i;
        } else if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(c));
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

FatError Volume::Find(const std::string& path, DirEntry* out) {
    std::vector<std::string> parts = PathComponents(path, *ansi_);
    DirEntry cur;
    cur.attributes = attr::kDirectory;
    cur.firstCluster = root();
    for (const std::string& part : parts) {
        if (!cur.IsDirectory()) return FatError::kNotADirectory;
        std::uint32_t folder = cur.firstCluster;
        // ".." of a folder in the root holds cluster 0, on FAT32 as well.
        if (folder == 0) folder = root();
        FatError e = FindIn(folder, part, &cur);
        if (e != FatError::kNone) return e;
    }
    if (cur.IsDirectory() && cur.firstCluster == 0) cur.firstCluster = root();
    *out = cur;
    return FatError::kNone;
}

FatError Volume::Split(const std::string& path, std::uint32_t* parent, std::string* leaf) {
    std::vector<std::string> parts = PathComponents(path, *ansi_);
    if (parts.empty()) return FatError::kBadName;
    *leaf = parts.back();
    std::string dir;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) dir += parts[i] + "\\";
    DirEntry d;
    FatError e = Find(dir, &d);
    if (e != FatError::kNone) return e;
    if (!d.IsDirectory()) return FatError::kNotADirectory;
    *parent = d.firstCluster;
    if (*parent == root() && boot_.type != FatType::kFat32) *parent = 0;
    return FatError::kNone;
}

FatError Volume::Read(const DirEntry& file, std::string* data) {
    std::vector<std::uint32_t> chain;
    FatError e = ReadChain(file, &chain);
    if (e != FatError::kNone) return e;
    data->resize(file.size);
    return ReadInto(file, chain, data->empty() ? nullptr : &(*data)[0]);
}

FatError Volume::Read(const DirEntry& file, std::vector<std::uint8_t>* data) {
    std::vector<std::uint32_t> chain;
    FatError e = ReadChain(file, &chain);
    if (e != FatError::kNone) return e;
    data->resize(file.size);
    return ReadInto(file, chain, reinterpret_cast<char*>(data->data()));
}

FatError Volume::ReadChain(const DirEntry& file, std::vector<std::uint32_t>* chain) const {
    if (file.IsDirectory()) return FatError::kIsADirectory;
    FatError e = Chain(file.firstCluster, chain);
    if (e != FatError::kNone) return e;
    if (std::uint64_t{chain->size()} * boot_.clusterBytes < file.size) return FatError::kCorrupt;
    return FatError::kNone;
}

FatError Volume::ReadInto(const DirEntry& file, const std::vector<std::uint32_t>& chain,
                          char* out) {
    std::size_t done = 0;
    for (std::size_t i = 0; i < chain.size() && done < file.size;) {
        std::size_t j = i + 1;
        while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
        std::size_t n = std::min<std::size_t>((j - i) * boot_.clusterBytes, file.size - done);
        if (!device_->Read(ClusterOffset(chain[i]), out + done, n)) return FatError::kIo;
        done += n;
        i = j;
    }
    return FatError::kNone;
}

FatError Volume::ChooseAlias(const Folder& f, const std::string& longName, std::string* alias,
                             std::u16string* wide) {
    if (longName.empty() || longName == "." || longName == "..") return FatError::kBadName;
    for (std::size_t i = 0; i < longName.size(); ++i) {
        auto c = static_cast<std::uint8_t>(longName[i]);
        if (ansi_->IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c < 0x20 || std::strchr("\"*/:<>?\\|", c)) return FatError::kBadName;
    }
    std::string utf8;
    if (!ansi_->ToHost(longName, &utf8) || !Utf8ToUtf16(utf8, wide) || wide->size() > kMaxLongName)
        return FatError::kBadName;

    std::vector<DirEntry> entries;
    Parse(f, &entries);
    std::set<std::string> aliases;
    for (const DirEntry& d : entries) {
        if (ansi_->EqualNoCase(d.name, longName) || ansi_->EqualNoCase(d.shortName, longName))
            return FatError::kExists;
        aliases.insert(ansi_->UpperAscii(d.shortName));
    }
    // The alias by Windows 95's rules: the basis itself when the name is 8.3
    // already, otherwise the basis with the lowest "~N" free in this folder.
    bool exact = false;
    std::string basis = WithoutTrail5C(ShortNameBasis(longName, *ansi_, &exact), *ansi_, &exact);
    alias->clear();
    if (exact && !aliases.count(basis)) {
        *alias = basis;
    } else {
        for (unsigned n = 1; n < 1000000 && alias->empty(); ++n) {
            std::string candidate = ShortNameWithTail(basis, n, *ansi_);
            if (!aliases.count(candidate)) *alias = candidate;
        }
        if (alias->empty()) return FatError::kExists;
    }
    return FatError::kNone;
}

FatError Volume::AddEntry(std::uint32_t folder, const std::string& longName,
                          std::uint8_t attributes, std::uint32_t firstCluster, std::uint32_t size,
                          DosStamp created, DosStamp written, std::uint16_t accessDate,
                          DirEntry* out) {
    Folder f;
    FatError e = LoadFolder(folder, &f);
    if (e != FatError::kNone) return e;
    std::string alias;
    std::u16string wide;
    if ((e = ChooseAlias(f, longName, &alias, &wide)) != FatError::kNone) return e;
    std::string oemAlias;
    if (!AnsiToOem(alias, &oemAlias)) return FatError::kBadName;
    // The long name is stored only when the alias does not say it all.
    bool needLong = alias != longName;

    std::uint8_t shortRaw[11];
    ShortNameRaw(oemAlias, shortRaw);
    std::size_t longSlots = needLong ? (wide.size() + 12) / 13 : 0;
    std::vector<std::uint8_t> bytes((longSlots + 1) * kSlot, 0);
    std::uint8_t sum = ShortNameChecksum(shortRaw);
    for (std::size_t k = 0; k < longSlots; ++k) {
        // Stored from the last part to the first.
        std::size_t order = longSlots - k;
        std::uint8_t* slot = &bytes[k * kSlot];
        slot[kOrder] = static_cast<std::uint8_t>(order | (k == 0 ? kLastLfn : 0));
        slot[kAttr] = attr::kLongName;
        slot[kLfnChecksum] = sum;
        for (std::size_t u = 0; u < 13; ++u) {
            std::size_t index = (order - 1) * 13 + u;
            std::uint16_t unit = index < wide.size()    ? wide[index]
                                 : index == wide.size() ? 0
                                                        : 0xFFFF;
            StoreU16(slot + kLfnRuns[u], unit);
        }
    }
    std::uint8_t* entry = &bytes[longSlots * kSlot];
    std::memcpy(entry + kName, shortRaw, 11);
    entry[kAttr] = attributes;
    StoreU16(entry + kCreatedTime, created.time);
    StoreU16(entry + kCreatedDate, created.date);
    StoreU16(entry + kAccessDate, accessDate);
    StoreU16(entry + kWrittenTime, written.time);
    StoreU16(entry + kWrittenDate, written.date);
    PutCluster(entry, firstCluster);
    StoreU32(entry + kSize, size);

    // A run of free slots long enough; a folder in the data area grows by a
    // zeroed cluster when it has none.
    std::size_t need = longSlots + 1;
    while (true) {
        std::uint32_t run = 0, start = 0;
        bool found = false;
        for (std::uint32_t s = 0; s < f.Slots(); ++s) {
            std::uint8_t b = f.bytes[std::size_t{s} * kSlot];
            if (b == 0 || b == kDeleted) {
                if (run == 0) start = s;
                if (++run == need) {
                    found = true;
                    break;
                }
            } else {
                run = 0;
            }
        }
        if (found) {
            e = WriteSlots(f, start, bytes.data(), need);
            if (e != FatError::kNone) return e;
            if (out) {
                *out = DirEntry();
                out->name = longName;
                out->shortName = alias;
                out->hasLongName = needLong;
                out->attributes = attributes;
                out->firstCluster = firstCluster;
                out->size = size;
                out->created = created;
                out->written = written;
                out->folder = folder;
                out->slot = start + static_cast<std::uint32_t>(longSlots);
                out->firstSlot = start;
            }
            return FatError::kNone;
        }
        if (f.chain.empty()) return FatError::kDiskFull;
        if (f.Slots() + boot_.clusterBytes / kSlot > kMaxFolderSlots) return FatError::kDiskFull;
        std::vector<std::uint32_t> grown;
        e = Allocate(1, &grown);
        if (e != FatError::kNone) return e;
        e = WriteClusters(grown, std::string());
        if (e != FatError::kNone) return e;
        SetEntry(f.chain.back(), grown[0]);
        e = FlushFat();
        if (e != FatError::kNone) return e;
        f.chain.push_back(grown[0]);
        f.bytes.resize(f.bytes.size() + boot_.clusterBytes, 0);
    }
}

FatError Volume::MarkDeleted(const DirEntry& entry) {
    Folder f;
    FatError e = LoadFolder(entry.folder, &f);
    if (e != FatError::kNone) return e;
    if (entry.slot >= f.Slots() || entry.firstSlot > entry.slot) return FatError::kCorrupt;
    std::size_t count = entry.slot - entry.firstSlot + 1;
    std::vector<std::uint8_t> bytes(f.bytes.begin() + std::size_t{entry.firstSlot} * kSlot,
                                    f.bytes.begin() + std::size_t{entry.slot + 1} * kSlot);
    for (std::size_t i = 0; i < count; ++i) bytes[i * kSlot] = kDeleted;
    return WriteSlots(f, entry.firstSlot, bytes.data(), count);
}

FatError Volume::RewriteShortEntry(const DirEntry& entry) {
    Folder f;
    FatError e = LoadFolder(entry.folder, &f);
    if (e != FatError::kNone) return e;
    if (entry.slot >= f.Slots()) return FatError::kCorrupt;
    std::uint8_t* slot = &f.bytes[std::size_t{entry.slot} * kSlot];
    slot[kAttr] = entry.attributes;
    PutCluster(slot, entry.firstCluster);
    StoreU32(slot + kSize, entry.size);
    StoreU16(slot + kWrittenTime, entry.written.time);
    StoreU16(slot + kWrittenDate, entry.written.date);
    StoreU16(slot + kAccessDate, entry.accessDate);
    return WriteSlots(f, entry.slot, slot, 1);
}

FatError Volume::WriteFile(const std::string& path, const std::string& data, DosStamp when) {
    return WriteFile(path, data.data(), data.size(), when);
}

FatError Volume::WriteFile(const std::string& path, const char* data, std::size_t size,
                           DosStamp when) {
    if (size > 0xFFFFFFFFull) return FatError::kDiskFull;
    std::uint32_t parent = 0;
    std::string leaf;
    FatError e = Split(path, &parent, &leaf);
    if (e != FatError::kNone) return e;
    DirEntry existing;
    FatError found = FindIn(parent, leaf, &existing);
    if (found != FatError::kNone && found != FatError::kNotFound) return found;
    if (found == FatError::kNone && existing.IsDirectory()) return FatError::kIsADirectory;

    std::vector<std::uint32_t> chain;
    std::size_t clusters = (size + boot_.clusterBytes - 1) / boot_.clusterBytes;
    if ((e = Allocate(clusters, &chain)) != FatError::kNone) return e;
    if ((e = WriteClusters(chain, data, size)) != FatError::kNone) return e;
    if ((e = FlushFat()) != FatError::kNone) return e;
    std::uint32_t first = chain.empty() ? 0 : chain[0];
    if (found == FatError::kNotFound) {
        e = AddEntry(parent, leaf, attr::kArchive, first, static_cast<std::uint32_t>(size), when,
                     when, when.date, nullptr);
        if (e != FatError::kNone) return e;
    } else {
        std::vector<std::uint32_t> old;
        if ((e = Chain(existing.firstCluster, &old)) != FatError::kNone) return e;
        existing.firstCluster = first;
        existing.size = static_cast<std::uint32_t>(size);
        existing.written = when;
        existing.accessDate = when.date;
        existing.attributes |= attr::kArchive;
        if ((e = RewriteShortEntry(existing)) != FatError::kNone) return e;
        Free(old);
        if ((e = FlushFat()) != FatError::kNone) return e;
    }
    UpdateFsInfo();
    return FatError::kNone;
}

FatError Volume::MakeDirectory(const std::string& path, DosStamp when) {
    std::uint32_t parent = 0;
    std::string leaf;
    FatError e = Split(path, &parent, &leaf);
    if (e != FatError::kNone) return e;
    DirEntry existing;
    if (FindIn(parent, leaf, &existing) == FatError::kNone) return FatError::kExists;
    std::vector<std::uint32_t> chain;
    if ((e = Allocate(1, &chain)) != FatError::kNone) return e;
    // "." and ".." first; ".." of a folder in the root holds 0, FAT32 too.
    std::string cluster(boot_.clusterBytes, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(&cluster[0]);
    std::uint32_t up = parent == root() ? 0 : parent;
    for (int i = 0; i < 2; ++i) {
        std::uint8_t* slot = p + i * kSlot;
        std::memset(slot, ' ', 11);
        slot[0] = '.';
        if (i == 1) slot[1] = '.';
        slot[kAttr] = attr::kDirectory;
        StoreU16(slot + kCreatedTime, when.time);
        StoreU16(slot + kCreatedDate, when.date);
        StoreU16(slot + kWrittenTime, when.time);
        StoreU16(slot + kWrittenDate, when.date);
        StoreU16(slot + kAccessDate, when.date);
        PutCluster(slot, i == 0 ? chain[0] : up);
    }
    if ((e = WriteClusters(chain, cluster)) != FatError::kNone) return e;
    if ((e = FlushFat()) != FatError::kNone) return e;
    e = AddEntry(parent, leaf, attr::kDirectory, chain[0], 0, when, when, when.date, nullptr);
    if (e != FatError::kNone) return e;
    UpdateFsInfo();
    return FatError::kNone;
}

FatError Volume::Remove(const std::string& path) {
    DirEntry entry;
    FatError e = Find(path, &entry);
    if (e != FatError::kNone) return e;
    if (PathComponents(path, *ansi_).empty()) return FatError::kBadName;
    if (entry.IsDirectory()) {
        std::vector<DirEntry> inside;
        if ((e = List(entry.firstCluster, &inside)) != FatError::kNone) return e;
        if (!inside.empty()) return FatError::kNotEmpty;
    }
    std::vector<std::uint32_t> chain;
    if ((e = Chain(entry.firstCluster, &chain)) != FatError::kNone) return e;
    if ((e = MarkDeleted(entry)) != FatError::kNone) return e;
    Free(chain);
    if ((e = FlushFat()) != FatError::kNone) return e;
    UpdateFsInfo();
    return FatError::kNone;
}

FatError Volume::Rename(const std::string& from, const std::string& to) {
    DirEntry entry;
    FatError e = Find(from, &entry);
    if (e != FatError::kNone) return e;
    if (PathComponents(from, *ansi_).empty()) return FatError::kBadName;
    std::uint32_t parent = 0;
    std::string leaf;
    if ((e = Split(to, &parent, &leaf)) != FatError::kNone) return e;
    DirEntry clash;
    bool sameEntry = false;
    if (FindIn(parent, leaf, &clash) == FatError::kNone) {
        // Only a change of case of the same entry may keep the name.
        sameEntry = clash.folder == entry.folder && clash.slot == entry.slot;
        if (!sameEntry) return FatError::kExists;
    }
    if (entry.IsDirectory()) {
        // A folder cannot move into itself or below it.
        for (std::uint32_t up = parent; up != 0 && up != root();) {
            if (up == entry.firstCluster) return FatError::kBadName;
            Folder f;
            if (LoadFolder(up, &f) != FatError::kNone || f.Slots() < 2) break;
            ByteReader r(f.bytes.data(), f.bytes.size());
            up = FirstCluster(r, kSlot, boot_.type);
        }
    }
    if (parent == entry.folder && entry.firstSlot == entry.slot && !sameEntry) {
        // A plain 8.3 name that stays a plain 8.3 name in the same folder
        // changes in one slot write, so a kill leaves the old name or the new.
        Folder f;
        if ((e = LoadFolder(parent, &f)) != FatError::kNone) return e;
        if (entry.slot >= f.Slots()) return FatError::kCorrupt;
        std::string alias, oemAlias;
        std::u16string wide;
        if ((e = ChooseAlias(f, leaf, &alias, &wide)) != FatError::kNone) return e;
        if (alias == leaf) {
            if (!AnsiToOem(alias, &oemAlias)) return FatError::kBadName;
            std::uint8_t* slot = &f.bytes[std::size_t{entry.slot} * kSlot];
            ShortNameRaw(oemAlias, slot + kName);
            return WriteSlots(f, entry.slot, slot, 1);
        }
    }
    // The old entries go first: a kill in between leaves the clusters lost,
    // never two entries that share them.
    if ((e = MarkDeleted(entry)) != FatError::kNone) return e;
    e = AddEntry(parent, leaf, entry.attributes, entry.firstCluster, entry.size, entry.created,
                 entry.written, entry.accessDate, nullptr);
    if (e != FatError::kNone) return e;
    if (entry.IsDirectory() && parent != entry.folder) {
        Folder moved;
        if ((e = LoadFolder(entry.firstCluster, &moved)) != FatError::kNone) return e;
        if (moved.Slots() >= 2) {
            std::uint8_t* dots = &moved.bytes[kSlot];
            PutCluster(dots, parent == root() ? 0 : parent);
            if ((e = WriteSlots(moved, 1, dots, 1)) != FatError::kNone) return e;
        }
    }
    return FatError::kNone;
}

FatError Volume::Replace(const std::string& from, const std::string& to) {
    DirEntry source, target;
    FatError e = Find(from, &source);
    if (e != FatError::kNone) return e;
    if ((e = Find(to, &target)) != FatError::kNone) return e;
    if (PathComponents(from, *ansi_).empty() || PathComponents(to, *ansi_).empty())
        return FatError::kBadName;
    if (source.IsDirectory() || target.IsDirectory()) return FatError::kIsADirectory;
    if (source.folder == target.folder && source.slot == target.slot) return FatError::kNone;
    std::vector<std::uint32_t> old;
    if ((e = Chain(target.firstCluster, &old)) != FatError::kNone) return e;
    if ((e = MarkDeleted(source)) != FatError::kNone) return e;
    if (!device_->Flush()) return FatError::kIo;
    target.attributes = source.attributes;
    target.firstCluster = source.firstCluster;
    target.size = source.size;
    target.written = source.written;
    target.accessDate = source.accessDate;
    if ((e = RewriteShortEntry(target)) != FatError::kNone) return e;
    if (!device_->Flush()) return FatError::kIo;
    Free(old);
    if ((e = FlushFat()) != FatError::kNone) return e;
    UpdateFsInfo();
    return FatError::kNone;
}

FatError Volume::SetAttributes(const std::string& path, std::uint8_t attributes) {
    DirEntry entry;
    FatError e = Find(path, &entry);
    if (e != FatError::kNone) return e;
    if (PathComponents(path, *ansi_).empty()) return FatError::kBadName;
    // The folder bit and the label bit describe what the entry is; they stay.
    entry.attributes = static_cast<std::uint8_t>(
        (entry.attributes & (attr::kDirectory | attr::kVolumeLabel)) |
        (attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive)));
    return RewriteShortEntry(entry);
}

FatError Volume::SetWritten(const std::string& path, DosStamp when) {
    DirEntry entry;
    FatError e = Find(path, &entry);
    if (e != FatError::kNone) return e;
    if (PathComponents(path, *ansi_).empty()) return FatError::kBadName;
    entry.written = when;
    return RewriteShortEntry(entry);
}

}  // namespace sabrel::platform::offline::fat
