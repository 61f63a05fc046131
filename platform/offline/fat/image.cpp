// SPDX-License-Identifier: MIT
#include "platform/offline/fat/image.h"

#include <cstring>
#include <vector>

#include "common/byte_reader.h"
#include "platform/offline/fat/partitions.h"
#include "platform/offline/fat/vhd.h"

namespace sabrel::platform::offline::fat {

namespace {

// The VHD footer: the last 512 bytes of the file.
constexpr std::uint64_t kVhdFooter = kVhdFooterSize;
constexpr std::uint32_t kVhdFixed = static_cast<std::uint32_t>(VhdType::kFixed);
constexpr std::uint32_t kVhdDynamic = static_cast<std::uint32_t>(VhdType::kDynamic);

// The name of a container format that Sabrel does not open, from its magic.
std::string ForeignContainer(const std::uint8_t* head, std::size_t size) {
    auto starts = [&](const char* magic, std::size_t at = 0) {
        std::size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(head + at, magic, n) == 0;
    };
    if (starts("QFI\xFB")) return "qcow2";
    if (starts("KDMV") || starts("# Disk DescriptorFile")) return "VMDK";
    if (size >= 0x44 && ByteReader::LoadU32(head + 0x40) == 0xBEDA107F) return "VDI";
    if (starts("vhdxfile")) return "VHDX";
    return std::string();
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool EqualAsciiNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// The Windows folder on `v` as a path below its root, when it holds SYSTEM.DAT.
bool FindWindows(Volume& v, std::string* winDir) {
    std::string candidate = "C:\\WINDOWS";
    DirEntry e;
    std::string text;
    if (v.Find("MSDOS.SYS", &e) == FatError::kNone && !e.IsDirectory() && e.size < 65536 &&
        v.Read(e, &text) == FatError::kNone) {
        std::string named = WinDirFromMsdosSys(text);
        if (!named.empty()) candidate = named;
    }
    std::string below =
        candidate.size() >= 2 && candidate[1] == ':' ? candidate.substr(2) : candidate;
    if (v.Find(below + "\\SYSTEM.DAT", &e) != FatError::kNone || e.IsDirectory()) return false;
    *winDir = candidate;
    return true;
}

}  // namespace

std::string WinDirFromMsdosSys(const std::string& text) {
    bool inPaths = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line[0] == '[') {
            std::size_t close = line.find(']');
            inPaths = close != std::string::npos &&
                      EqualAsciiNoCase(Trim(line.substr(1, close - 1)), "Paths");
            continue;
        }
        std::size_t eq = line.find('=');
        if (!inPaths || eq == std::string::npos) continue;
        if (EqualAsciiNoCase(Trim(line.substr(0, eq)), "WinDir")) return Trim(line.substr(eq + 1));
    }
    return std::string();
}

namespace {

ImageError Open(const std::string& path, unsigned partition, bool writable, const CodePage* oem,
                const CodePage* ansi, OpenedImage* out) {
    FileDevice::OpenError oe;
    out->file = FileDevice::Open(path, writable, &oe);
    if (!out->file) {
        return oe == FileDevice::OpenError::kNotFound ? ImageError::kNotFound
               : oe == FileDevice::OpenError::kAccess ? ImageError::kAccess
               : oe == FileDevice::OpenError::kLocked ? ImageError::kLocked
                                                      : ImageError::kCorrupt;
    }
    std::uint64_t size = out->file->Size();
    std::uint8_t head[512] = {};
    std::size_t headSize = size < sizeof head ? static_cast<std::size_t>(size) : sizeof head;
    if (!out->file->Read(0, head, headSize)) return ImageError::kCorrupt;
    out->foreign = ForeignContainer(head, headSize);
    if (!out->foreign.empty()) return ImageError::kForeignContainer;

    out->container = "raw";
    std::uint64_t diskBytes = size;
    if (size >= kVhdFooter) {
        std::uint8_t footer[kVhdFooter];
        if (!out->file->Read(size - kVhdFooter, footer, sizeof footer)) return ImageError::kCorrupt;
        VhdFooter f;
        const std::uint8_t* found = ParseVhdFooter(footer, &f) ? footer : nullptr;
        // A dynamic VHD keeps a copy of its footer at offset 0, which stands
        // in for one that its end lost (a copy taken while the image grew).
        VhdFooter h;
        if ((!found || (f.diskType == kVhdDynamic && !f.checksumRight)) && headSize == kVhdFooter &&
            ParseVhdFooter(head, &h) && h.diskType == kVhdDynamic && h.checksumRight) {
            f = h;
            found = head;
        }
        if (found && f.diskType == kVhdFixed) {
            // A fixed VHD is the raw disk followed by its footer.
            out->container = "VHD";
            diskBytes = size - kVhdFooter;
        } else if (found && f.diskType == kVhdDynamic) {
            if (!f.checksumRight) return ImageError::kCorrupt;
            out->vhd = DynamicVhd::Open(out->file.get(), found);
            if (!out->vhd) return ImageError::kCorrupt;
            out->container = "VHD";
            diskBytes = out->vhd->Size();
        } else if (found) {
            return ImageError::kUnsupportedVhd;
        }
    }
    BlockDevice* container = out->vhd ? static_cast<BlockDevice*>(out->vhd.get()) : out->file.get();
    out->disk = std::make_unique<SliceDevice>(container, 0, diskBytes);

    std::vector<Partition> parts;
    LayoutResult layout = ReadLayout(*out->disk, &parts);
    if (layout == LayoutResult::kNoVolume) return ImageError::kNoVolume;
    FatError fe;
    if (layout == LayoutResult::kSuperfloppy) {
        if (partition > 1) return ImageError::kNoSuchPartition;
        out->volumeDevice = std::make_unique<SliceDevice>(out->disk.get(), 0, diskBytes);
        out->volume = Volume::Open(out->volumeDevice.get(), oem, ansi, &fe);
        if (!out->volume) return ImageError::kCorrupt;
        out->partition = 0;
        if (!FindWindows(*out->volume, &out->winDir)) out->winDir = "C:\\WINDOWS";
        return ImageError::kNone;
    }
    int chosen = -1, withWindows = 0;
    std::string chosenWinDir;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (partition != 0) {
            if (parts[i].number == partition) chosen = static_cast<int>(i);
            continue;
        }
        SliceDevice slice(out->disk.get(), parts[i].firstByte, parts[i].byteCount);
        auto v = Volume::Open(&slice, oem, ansi, &fe);
        std::string winDir;
        if (v && FindWindows(*v, &winDir)) {
            ++withWindows;
            chosen = static_cast<int>(i);
            chosenWinDir = winDir;
        }
    }
    if (partition != 0 && chosen < 0) return ImageError::kNoSuchPartition;
    if (partition == 0 && withWindows != 1) {
        if (parts.size() != 1)
            return parts.empty() ? ImageError::kNoVolume : ImageError::kAmbiguous;
        chosen = 0;
    }
    const Partition& p = parts[static_cast<std::size_t>(chosen)];
    out->volumeDevice = std::make_unique<SliceDevice>(out->disk.get(), p.firstByte, p.byteCount);
    out->volume = Volume::Open(out->volumeDevice.get(), oem, ansi, &fe);
    if (!out->volume) return ImageError::kCorrupt;
    out->partition = p.number;
    if (!FindWindows(*out->volume, &out->winDir)) out->winDir = "C:\\WINDOWS";
    return ImageError::kNone;
}

}  // namespace

ImageError OpenImage(const std::string& path, unsigned partition, bool writable,
                     const CodePage* oem, const CodePage* ansi, OpenedImage* out) {
    *out = OpenedImage();
    ImageError e = Open(path, partition, writable, oem, ansi, out);
    if (e != ImageError::kNone) {
        // A refused image is closed at once, so that its lock goes with it.
        std::string foreign = out->foreign;
        *out = OpenedImage();
        out->foreign = foreign;
    }
    return e;
}

}  // namespace sabrel::platform::offline::fat
