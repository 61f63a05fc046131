// SPDX-License-Identifier: MIT
// A disk image as the offline platform opens it: the container (a raw image,
// a fixed or a dynamic VHD), the FAT volume inside it, and the Windows folder
// on that volume.
#pragma once

#include <memory>
#include <string>

#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/vhd.h"
#include "platform/offline/fat/volume.h"

namespace sabrel::platform::offline::fat {

enum class ImageError {
    kNone,
    kNotFound,
    kAccess,
    kLocked,            // another Sabrel has the image open
    kForeignContainer,  // qcow2, VMDK, VDI, VHDX: convert it to a raw image first
    kUnsupportedVhd,    // a differencing VHD (or one of a type VHD does not define)
    kNoVolume,          // neither a partition table nor a FAT volume
    kNoSuchPartition,   // the partition asked for is not a FAT partition
    kAmbiguous,         // several FAT partitions, none or more than one holding Windows
    kCorrupt,
};

struct OpenedImage {
    std::unique_ptr<FileDevice> file;
    std::unique_ptr<DynamicVhd> vhd;    // the disk of a dynamic VHD
    std::unique_ptr<SliceDevice> disk;  // the disk inside the container
    std::unique_ptr<SliceDevice> volumeDevice;
    std::unique_ptr<Volume> volume;
    unsigned partition = 0;  // 0 for a volume without a partition table
    std::string container;   // "raw" or "VHD"
    std::string foreign;     // for kForeignContainer: what the image is
    std::string winDir;      // "C:\WINDOWS", from MSDOS.SYS or the default
};

// Opens `path`, takes the lock, and finds the volume: partition `partition`
// when it is not 0, otherwise the only FAT partition or the only one that
// holds a Windows installation (MSDOS.SYS's folder, or WINDOWS, with a
// SYSTEM.DAT in it).
ImageError OpenImage(const std::string& path, unsigned partition, bool writable,
                     const CodePage* oem, const CodePage* ansi, OpenedImage* out);

// The Windows folder that MSDOS.SYS names in [Paths] WinDir= (as written,
// e.g. "C:\WINDOWS"); empty when the file has no such line (as on DOS 6,
// where MSDOS.SYS is a program).
std::string WinDirFromMsdosSys(const std::string& text);

}  // namespace sabrel::platform::offline::fat
