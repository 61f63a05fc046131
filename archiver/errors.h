// SPDX-License-Identifier: MIT
// Result codes of the stand-in archiver library. Unlha() returns 0 on success
// and one of these otherwise; the backup shows the number as it is. The values
// follow the 0x8000-based numbering that archiver libraries of this kind use.
//
//   code    name                 meaning
//   0x8009  kErrorMethod         a member uses a method this library cannot decode
//   0x800C  kErrorFileCrc        a member's data does not match its CRC
//   0x800D  kErrorFileOpen       the file to archive cannot be read
//   0x8013  kErrorCannotWrite    the archive or program cannot be written or put in place
//   0x8014  kErrorHuffmanCode    compressed data is malformed or ends early
//   0x8016  kErrorHeaderCrc      a header's checksum or CRC is wrong
//   0x8017  kErrorHeaderBroken   a header is malformed or cut off
//   0x8018  kErrorArcFileOpen    the archive cannot be read
//   0x8019  kErrorNotArcFile     no LZH archive (or no member) in the file
//   0x801C  kErrorCommandName    unknown command, or missing or extra arguments
//   0x801E  kErrorEnoughMemory   out of memory
//   0x801F  kErrorAlreadyRunning another call is under way
//   0x8023  kErrorNotSupport     a file too large for the format (4 GiB and over),
//                                or a name too long for the program's headers
#pragma once

namespace sabrel::archiver {

enum ArchiverError : int {
    kOk = 0,
    kErrorMethod = 0x8009,
    kErrorFileCrc = 0x800C,
    kErrorFileOpen = 0x800D,
    kErrorCannotWrite = 0x8013,
    kErrorHuffmanCode = 0x8014,
    kErrorHeaderCrc = 0x8016,
    kErrorHeaderBroken = 0x8017,
    kErrorArcFileOpen = 0x8018,
    kErrorNotArcFile = 0x8019,
    kErrorCommandName = 0x801C,
    kErrorEnoughMemory = 0x801E,
    kErrorAlreadyRunning = 0x801F,
    kErrorNotSupport = 0x8023,
};

}  // namespace sabrel::archiver
