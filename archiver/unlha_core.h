// SPDX-License-Identifier: MIT
// The work behind the library's entry points, on any FileAccess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archiver/file_access.h"

namespace sabrel::archiver {

// The self-extracting program's stub, as assembled by the build.
struct SfxStub {
    const std::uint8_t* data;
    std::size_t size;
};
SfxStub BuiltInStub();

// Runs one command line ("a -a1 ARCHIVE FILE" or "s ARCHIVE FOLDER\").
// Returns kOk or an ArchiverError; `message` gets a one-line account.
int RunCommand(FileAccess& fs, const std::string& commandLine, std::string* message,
               const SfxStub& stub = BuiltInStub());

// Checks an archive or a self-extracting program. Mode 2 (and any mode other
// than 0 and 1) decodes every member and compares its CRC; modes 0 and 1 read
// the headers only. kOk when sound and holding at least one member.
int CheckArchive(FileAccess& fs, const std::string& path, int mode);

// Separate steps, for tests.
int AddFile(FileAccess& fs, const std::string& archive, const std::string& file);
int MakeSfx(FileAccess& fs, const std::string& archive, const std::string& folder,
            const SfxStub& stub);

// Converts Unix time (UTC) to MS-DOS time and date fields, taken as they are.
void UnixToDosTime(std::uint32_t unixTime, std::uint16_t* time, std::uint16_t* date);

}  // namespace sabrel::archiver
