// SPDX-License-Identifier: MIT
// LZH archives: reading member headers of levels 0, 1 and 2 (also behind a
// self-extracting program), checking members, and writing level-1 members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sabrel::archiver {

struct Member {
    std::size_t headerOffset = 0;  // where the header starts in the file
    std::size_t dataOffset = 0;    // where the packed data starts
    std::uint8_t level = 0;
    char method[6] = {};  // e.g. "-lh5-"
    std::uint32_t packedSize = 0;
    std::uint32_t originalSize = 0;
    std::uint16_t dosTime = 0;  // levels 0 and 1 (local time)
    std::uint16_t dosDate = 0;
    std::uint32_t unixTime = 0;  // level 2 (UTC)
    std::uint8_t attribute = 0x20;
    std::uint16_t crc = 0;
    std::uint8_t osId = 0;
    std::string name;  // as stored, directory part included when present
};

struct Archive {
    std::size_t start = 0;  // offset of the first header (after an SFX stub)
    std::size_t end = 0;    // offset just past the last member
    std::vector<Member> members;
};

// Reads the member headers. A plain archive starts with its first header; a
// file starting with "MZ" is searched for the first valid header (the archive
// behind a self-extracting program). Validates each header's checksum (levels
// 0 and 1) or header CRC (level 2, when present), its fields' bounds, and that
// the packed data lies inside the file. Does not decode data. The archive ends
// at a header whose first byte is 0 or at the end of the file. Returns kOk or
// an ArchiverError.
int ParseArchive(const std::uint8_t* data, std::size_t size, Archive* out);

// Decodes one member and compares its CRC. kOk, kErrorMethod, kErrorHuffmanCode
// or kErrorFileCrc. Directory entries (-lhd-) pass.
int VerifyMember(const std::uint8_t* data, const Member& member,
                 std::vector<std::uint8_t>* decoded = nullptr);

// True for the methods the self-extracting program handles.
bool IsStubMethod(const Member& member);

struct NewMember {
    std::string name;  // stored as is: the base name of the file
    std::uint8_t attribute = 0x20;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    const char* method = "-lh0-";
    std::uint32_t originalSize = 0;
    std::uint16_t crc = 0;
};

// The longest name a level-1 header holds: its one-byte header size counts
// 25 bytes and the name.
constexpr std::size_t kMaxLevel1NameSize = 230;

// A level-1 header (OS ID 'M', the attribute in extended header 0x40)
// followed by the packed data. The name has at most kMaxLevel1NameSize bytes.
std::vector<std::uint8_t> MakeLevel1Member(const NewMember& info, const std::uint8_t* packed,
                                           std::size_t packedSize);

// Compresses `data` as a new member: -lh5-, or -lh0- when that is not
// smaller. The -lh5- output is decoded again before it is used, so a packing
// fault can only cost size, never data.
std::vector<std::uint8_t> PackMember(NewMember info, const std::uint8_t* data, std::size_t size);

// Name comparison as DOS does it: ASCII letters without regard to case; the
// trail bytes of Shift-JIS characters are compared as they are.
bool SameDosName(const std::string& a, const std::string& b);

}  // namespace sabrel::archiver
