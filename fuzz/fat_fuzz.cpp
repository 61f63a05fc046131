// SPDX-License-Identifier: MIT
// Fuzz target for the disk-image parsers: the partition table and its
// extended chain, the boot sector, the FAT chains and the directories with
// their long names. Every volume found is listed two levels deep, its files
// read, and one file written, all in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/partitions.h"
#include "platform/offline/fat/volume.h"

using namespace sabrel::platform::offline;

namespace {

void Walk(fat::Volume& v, std::uint32_t folder, int depth) {
    std::vector<fat::DirEntry> entries;
    if (v.List(folder, &entries) != fat::FatError::kNone) return;
    for (const fat::DirEntry& e : entries) {
        if (e.IsDirectory()) {
            if (depth < 2 && e.firstCluster != 0) Walk(v, e.firstCluster, depth + 1);
        } else if (e.size < (1u << 20)) {
            std::string data;
            v.Read(e, &data);
        }
        fat::DirEntry found;
        v.Find(e.name, &found);
    }
}

void Exercise(fat::BlockDevice& device) {
    static const CodePage cp(932);
    fat::FatError error;
    auto v = fat::Volume::Open(&device, &cp, &cp, &error);
    if (!v) return;
    Walk(*v, v->root(), 0);
    v->WriteFile("New long name.txt", std::string(700, 'x'), fat::DosStamp{});
    v->MakeDirectory("SUB", fat::DosStamp{});
    v->Rename("New long name.txt", "SUB\\moved.txt");
    v->Remove("SUB\\moved.txt");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fat::MemoryDevice disk(std::vector<std::uint8_t>(data, data + size));
    std::vector<fat::Partition> parts;
    fat::LayoutResult layout = fat::ReadLayout(disk, &parts);
    if (layout == fat::LayoutResult::kSuperfloppy) {
        Exercise(disk);
    } else {
        for (const fat::Partition& p : parts) {
            fat::SliceDevice slice(&disk, p.firstByte, p.byteCount);
            Exercise(slice);
        }
    }
    return 0;
}
