// SPDX-License-Identifier: MIT
// A FAT12/16/32 volume with VFAT long names, read and written in place.
//
// Names at this interface are bytes of the installation's ANSI code page;
// short names are stored in its OEM code page and long names in UTF-16, as
// Windows 95 stores them. Paths are relative to the volume's root and use
// backslashes; a backslash that is the trail byte of a double-byte character
// is part of the name, not a separator.
//
// Every change is ordered so that a kill at any moment leaves at worst lost
// clusters: new data clusters are written first, then every FAT copy, then
// the directory entry; clusters given up are freed last. FSInfo is a hint
// and is updated after everything else. An existing file's clusters are never
// written: a replaced file gets new clusters.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/win32_types.h"
#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/boot_sector.h"

namespace sabrel::platform::offline::fat {

enum class FatError {
    kNone,
    kNotFound,       // a name or a folder on the path does not exist
    kExists,         // the new name is taken
    kNotADirectory,  // a file stands where a folder is needed
    kIsADirectory,   // a folder stands where a file is needed
    kNotEmpty,
    kDiskFull,  // no free cluster, or a full fixed root folder
    kBadName,   // a name that the volume cannot store
    kCorrupt,   // a damaged chain or directory
    kIo,        // the device refused a read or a write
};

struct DosStamp {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    // Local time with 2-second resolution, as DOS keeps it.
    static DosStamp FromTime(std::time_t t);
};

namespace attr {
constexpr std::uint8_t kReadOnly = winapi::kAttrReadOnly;
constexpr std::uint8_t kHidden = winapi::kAttrHidden;
constexpr std::uint8_t kSystem = winapi::kAttrSystem;
constexpr std::uint8_t kVolumeLabel = 0x08;
constexpr std::uint8_t kDirectory = winapi::kAttrDirectory;
constexpr std::uint8_t kArchive = winapi::kAttrArchive;
constexpr std::uint8_t kLongName = 0x0F;
}  // namespace attr

struct DirEntry {
    std::string name;       // the long name, or the alias when there is none
    std::string shortName;  // the 8.3 alias, "NAME.EXT"
    bool hasLongName = false;
    std::uint8_t attributes = 0;
    std::uint32_t firstCluster = 0;
    std::uint32_t size = 0;
    DosStamp created, written;
    std::uint16_t accessDate = 0;
    // Where the entry is: the folder's first cluster (0 for a FAT12/16 root),
    // the slot of the short entry and the slot of its first long-name entry.
    std::uint32_t folder = 0;
    std::uint32_t slot = 0;
    std::uint32_t firstSlot = 0;
    bool IsDirectory() const { return (attributes & attr::kDirectory) != 0; }
};

// The components of a path, split at backslashes (or slashes) that are
// characters of their own, never at a trail byte; empty components dropped.
std::vector<std::string> PathComponents(const std::string& path, const CodePage& cp);

class Volume {
  public:
    // Reads the boot sector and the first FAT of the volume on `device`
    // (which must outlive the volume). The code pages must outlive it too.
    static std::unique_ptr<Volume> Open(BlockDevice* device, const CodePage* oem,
                                        const CodePage* ansi, FatError* error);

    const BootSector& boot() const { return boot_; }
    // The root folder as the entry functions take it.
    std::uint32_t root() const { return boot_.type == FatType::kFat32 ? boot_.rootCluster : 0; }

    // Entries of one folder, without "." and "..", deleted entries and labels.
    FatError List(std::uint32_t folder, std::vector<DirEntry>* out);
    // The entry at `path`; "" names the root (a folder entry with no name).
    FatError Find(const std::string& path, DirEntry* out);
    FatError Read(const DirEntry& file, std::string* data);
    FatError Read(const DirEntry& file, std::vector<std::uint8_t>* data);

    // Creates the file or replaces its contents (keeping its names and
    // attributes, and setting the archive bit).
    FatError WriteFile(const std::string& path, const std::string& data, DosStamp when);
    FatError WriteFile(const std::string& path, const char* data, std::size_t size, DosStamp when);
    FatError MakeDirectory(const std::string& path, DosStamp when);
    // Deletes a file, or an empty folder.
    FatError Remove(const std::string& path);
    // Moves a file or folder to a new name, possibly in another folder; the
    // new name must not exist. A plain 8.3 name that becomes another plain
    // 8.3 name in the same folder changes in one slot write; otherwise the old
    // entry is deleted before the new one is written (a kill in between
    // leaves lost clusters).
    FatError Rename(const std::string& from, const std::string& to);
    // Gives the file `from` the place of the file `to`: `to` keeps its names
    // and takes the contents, attributes and times of `from`, whose entry goes
    // away. `from`'s entry is deleted first and `to`'s short entry then
    // changes in one write, so that a kill leaves either the old `to` whole
    // (and the new contents as lost clusters) or the new one.
    FatError Replace(const std::string& from, const std::string& to);
    FatError SetAttributes(const std::string& path, std::uint8_t attributes);
    FatError SetWritten(const std::string& path, DosStamp when);

    std::uint64_t FreeBytes() const { return std::uint64_t{freeClusters_} * boot_.clusterBytes; }

  private:
    struct Folder;
    Volume() = default;

    std::uint32_t Entry(std::uint32_t cluster) const;
    void SetEntry(std::uint32_t cluster, std::uint32_t value);
    bool IsEnd(std::uint32_t value) const;
    bool IsData(std::uint32_t value) const { return value >= 2 && value < boot_.clusterCount + 2; }
    std::uint64_t ClusterOffset(std::uint32_t cluster) const {
        return boot_.dataOffset + std::uint64_t{cluster - 2} * boot_.clusterBytes;
    }
    FatError Chain(std::uint32_t first, std::vector<std::uint32_t>* out) const;
    FatError Allocate(std::size_t count, std::vector<std::uint32_t>* out);
    void Free(const std::vector<std::uint32_t>& chain);
    FatError FlushFat();
    void UpdateFsInfo();
    FatError WriteClusters(const std::vector<std::uint32_t>& chain, const std::string& data);
    FatError WriteClusters(const std::vector<std::uint32_t>& chain, const char* data,
                           std::size_t size);
    FatError ReadChain(const DirEntry& file, std::vector<std::uint32_t>* chain) const;
    FatError ReadInto(const DirEntry& file, const std::vector<std::uint32_t>& chain, char* out);

    FatError LoadFolder(std::uint32_t first, Folder* out);
    FatError WriteSlots(const Folder& folder, std::uint32_t slot, const std::uint8_t* bytes,
                        std::size_t count);
    FatError Parse(const Folder& folder, std::vector<DirEntry>* out);
    FatError Split(const std::string& path, std::uint32_t* parent, std::string* leaf);
    FatError FindIn(std::uint32_t folder, const std::string& name, DirEntry* out);
    // Checks `longName` and picks its 8.3 alias in `folder` by Windows 95's
    // rules; `wide` receives the name in UTF-16.
    FatError ChooseAlias(const Folder& folder, const std::string& longName, std::string* alias,
                         std::u16string* wide);
    FatError AddEntry(std::uint32_t folder, const std::string& longName, std::uint8_t attributes,
                      std::uint32_t firstCluster, std::uint32_t size, DosStamp created,
                      DosStamp written, std::uint16_t accessDate, DirEntry* out);
    FatError MarkDeleted(const DirEntry& entry);
    FatError RewriteShortEntry(const DirEntry& entry);

    bool OemToAnsi(const std::string& oem, std::string* ansi) const;
    bool AnsiToOem(const std::string& ansi, std::string* oem) const;

    BlockDevice* device_ = nullptr;
    const CodePage* oem_ = nullptr;
    const CodePage* ansi_ = nullptr;
    BootSector boot_;
    std::vector<std::uint8_t> fat_;  // the first FAT copy, as on disk
    std::size_t dirtyBegin_ = 0, dirtyEnd_ = 0;
    std::uint32_t freeClusters_ = 0;
    std::uint32_t nextFree_ = 2;
};

// Windows 95's checksum of an 11-byte short name, kept in each long-name entry.
std::uint8_t ShortNameChecksum(const std::uint8_t* name11);

}  // namespace sabrel::platform::offline::fat
