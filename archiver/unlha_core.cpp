// SPDX-License-Identifier: MIT
#include "archiver/unlha_core.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "archiver/command_line.h"
#include "archiver/errors.h"
#include "archiver/lzh_archive.h"
#include "common/paths.h"
#include "common/win32_types.h"

namespace sabrel::archiver {

namespace {

using winapi::kAttrArchive;
constexpr std::uint32_t kAttrReadOnlyHiddenSystemArchive =
    winapi::kAttrReadOnly | winapi::kAttrHidden | winapi::kAttrSystem | kAttrArchive;
// DOS date 1980-01-01, for a file whose time cannot be read.
constexpr std::uint16_t kDosEpochDate = (1 << 5) | 1;

// A host path may be written with backslashes; DOS paths stay as given.
std::string Normalize(std::string path) {
    if (!path.empty() && path[0] == '/')
        for (char& c : path)
            if (c == '\\') c = '/';
    return path;
}

// Position just after the last separator ('\', '/' or ':'), Shift-JIS aware.
std::size_t NameStart(const std::string& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsSjisLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') start = i + 1;
    }
    return start;
}

std::string BaseName(const std::string& path) {
    return path.substr(NameStart(path));
}

std::string Stem(const std::string& path) {
    std::string name = BaseName(path);
    std::string::size_type dot = name.npos;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (name[i] == '.') dot = i;
    }
    return dot == name.npos ? name : name.substr(0, dot);
}

// `path` with the extension of its file name replaced; unlike the DOS-only
// rule, a '.' in a host folder's name ("/tmp/a.b/X") is never taken for one.
std::string WithExtension(const std::string& path, const std::string& ext) {
    return path.substr(0, NameStart(path)) + Stem(path) + ext;
}

using winapi::kAttrDirectory;

bool Exists(FileAccess& fs, const std::string& path) {
    return fs.GetAttributes(path) != kNoFile;
}

bool IsFolder(FileAccess& fs, const std::string& path) {
    const std::uint32_t a = fs.GetAttributes(path);
    return a != kNoFile && (a & kAttrDirectory);
}

// Clears the attributes of a leftover file of ours and deletes it; a folder
// of that name is not touched (the write that follows then fails).
void RemoveLeftover(FileAccess& fs, const std::string& path) {
    if (!Exists(fs, path) || IsFolder(fs, path)) return;
    fs.SetAttributes(path, kAttrArchive);
    fs.Delete(path);
}

// Puts `temp` in the place of `target`. An old target is first renamed aside
// and only deleted once the new file is in place, so a failure keeps it.
int ReplaceWith(FileAccess& fs, const std::string& temp, const std::string& target) {
    // A folder in the target's place is not ours to move aside.
    if (IsFolder(fs, target)) {
        fs.Delete(temp);
        return kErrorCannotWrite;
    }
    if (!Exists(fs, target)) {
        if (fs.Move(temp, target)) return kOk;
        fs.Delete(temp);
        return kErrorCannotWrite;
    }
    const std::string aside = WithExtension(target, ".OL$");
    RemoveLeftover(fs, aside);
    std::uint32_t oldAttr = fs.GetAttributes(target);
    fs.SetAttributes(target, kAttrArchive);
    if (!fs.Move(target, aside)) {
        fs.SetAttributes(target, oldAttr);
        fs.Delete(temp);
        return kErrorCannotWrite;
    }
    if (!fs.Move(temp, target)) {
        fs.Move(aside, target);
        fs.SetAttributes(target, oldAttr);
        fs.Delete(temp);
        return kErrorCannotWrite;
    }
    fs.Delete(aside);
    return kOk;
}

int WriteThroughTemp(FileAccess& fs, const std::string& target, const std::string& tempExt,
                     const std::vector<std::uint8_t>& bytes) {
    const std::string temp = WithExtension(target, tempExt);
    RemoveLeftover(fs, temp);
    // Read back before it replaces anything: a write that the system took
    // but did not keep must not cost the old file.
    std::vector<std::uint8_t> back;
    if (!fs.WriteFile(temp, bytes.data(), bytes.size()) || !fs.ReadFile(temp, &back) ||
        back != bytes) {
        fs.Delete(temp);
        return kErrorCannotWrite;
    }
    return ReplaceWith(fs, temp, target);
}

int ReadArchive(FileAccess& fs, const std::string& path, std::vector<std::uint8_t>* bytes,
                Archive* archive) {
    if (!fs.ReadFile(path, bytes)) return kErrorArcFileOpen;
    return ParseArchive(bytes->data(), bytes->size(), archive);
}

int VerifyAll(const std::vector<std::uint8_t>& bytes, const Archive& archive) {
    if (archive.members.empty()) return kErrorNotArcFile;
    for (const Member& m : archive.members) {
        int rc = VerifyMember(bytes.data(), m);
        if (rc != kOk) return rc;
    }
    return kOk;
}

}  // namespace

void UnixToDosTime(std::uint32_t unixTime, std::uint16_t* time, std::uint16_t* date) {
    std::uint32_t days = unixTime / 86400;
    std::uint32_t secs = unixTime % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    std::int64_t z = static_cast<std::int64_t>(days) + 719468;
    std::int64_t era = z / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t mo = mp < 10 ? mp + 3 : mp - 9;
    if (mo <= 2) ++y;
    if (y < 1980) {  // DOS dates start in 1980
        y = 1980;
        mo = 1;
        d = 1;
        secs = 0;
    }
    if (y > 2107) y = 2107;
    *date = static_cast<std::uint16_t>(((y - 1980) << 9) | (mo << 5) | d);
    *time = static_cast<std::uint16_t>(((secs / 3600) << 11) | (((secs / 60) % 60) << 5) |
                                       ((secs % 60) / 2));
}

int AddFile(FileAccess& fs, const std::string& archivePath, const std::string& filePath) {
    std::vector<std::uint8_t> data;
    if (!fs.ReadFile(filePath, &data)) return kErrorFileOpen;
    // Sizes are 32-bit fields in the headers.
    if (data.size() != static_cast<std::uint32_t>(data.size())) return kErrorNotSupport;

    NewMember info;
    info.name = BaseName(filePath);
    if (info.name.empty() || info.name.size() > 200) return kErrorFileOpen;
    std::uint32_t attr = fs.GetAttributes(filePath);
    info.attribute = static_cast<std::uint8_t>(
        attr == kNoFile ? kAttrArchive : (attr & kAttrReadOnlyHiddenSystemArchive));
    if (!fs.GetDosTime(filePath, &info.dosTime, &info.dosDate)) {
        info.dosTime = 0;
        info.dosDate = kDosEpochDate;
    }

    // An existing archive keeps its other members, byte for byte; a member of
    // the same name is replaced. A damaged archive is left alone.
    std::vector<std::uint8_t> out;
    if (Exists(fs, archivePath)) {
        std::vector<std::uint8_t> old;
        Archive archive;
        int rc = ReadArchive(fs, archivePath, &old, &archive);
        if (rc != kOk) return rc;
        for (const Member& m : archive.members) {
            if (SameDosName(BaseName(m.name), info.name)) continue;
            out.insert(out.end(), old.begin() + static_cast<std::ptrdiff_t>(m.headerOffset),
                       old.begin() + static_cast<std::ptrdiff_t>(m.dataOffset + m.packedSize));
        }
    }
    std::vector<std::uint8_t> member = PackMember(info, data.data(), data.size());
    out.insert(out.end(), member.begin(), member.end());
    out.push_back(0);
    return WriteThroughTemp(fs, archivePath, ".LZ$", out);
}

namespace {

// Whether `program` reads back as the archive it was made from: right after
// the stub, the same members in order, with their base names, methods, sizes,
// CRCs and packed bytes.
bool ReadsBackAs(const std::vector<std::uint8_t>& program, std::size_t stubSize,
                 const std::vector<std::uint8_t>& source, const Archive& archive) {
    Archive made;
    if (ParseArchive(program.data(), program.size(), &made) != kOk) return false;
    if (made.start != stubSize || made.members.size() != archive.members.size()) return false;
    for (std::size_t i = 0; i < made.members.size(); ++i) {
        const Member& m = made.members[i];
        const Member& from = archive.members[i];
        if (m.level != 1 || m.name != BaseName(from.name) ||
            std::strcmp(m.method, from.method) != 0 || m.originalSize != from.originalSize ||
            m.packedSize != from.packedSize || m.crc != from.crc)
            return false;
        if (!std::equal(program.begin() + static_cast<std::ptrdiff_t>(m.dataOffset),
                        program.begin() + static_cast<std::ptrdiff_t>(m.dataOffset + m.packedSize),
                        source.begin() + static_cast<std::ptrdiff_t>(from.dataOffset)))
            return false;
    }
    return true;
}

}  // namespace

int MakeSfx(FileAccess& fs, const std::string& archivePath, const std::string& folderArg,
            const SfxStub& stub) {
    std::vector<std::uint8_t> bytes;
    Archive archive;
    int rc = ReadArchive(fs, archivePath, &bytes, &archive);
    if (rc != kOk) return rc;
    // The program must restore what it holds: every member is decoded here
    // first, and must use a method and header form the stub reads.
    rc = VerifyAll(bytes, archive);
    if (rc != kOk) return rc;

    std::vector<std::uint8_t> out(stub.data, stub.data + stub.size);
    for (const Member& m : archive.members) {
        if (!IsStubMethod(m)) return kErrorMethod;
        NewMember info;
        info.name = BaseName(m.name);
        if (info.name.empty()) return kErrorHeaderBroken;
        if (info.name.size() > kMaxLevel1NameSize) return kErrorNotSupport;
        info.attribute = m.attribute;
        info.method = m.method;
        info.originalSize = m.originalSize;
        info.crc = m.crc;
        if (m.level == 2) {
            UnixToDosTime(m.unixTime, &info.dosTime, &info.dosDate);
        } else {
            info.dosTime = m.dosTime;
            info.dosDate = m.dosDate;
        }
        std::vector<std::uint8_t> member =
            MakeLevel1Member(info, bytes.data() + m.dataOffset, m.packedSize);
        out.insert(out.end(), member.begin(), member.end());
    }
    out.push_back(0);
    // What the stub will read must be what was checked above.
    if (!ReadsBackAs(out, stub.size, bytes, archive)) return kErrorHeaderBroken;

    // A host path is UTF-8, where no byte of a character is a separator; a
    // DOS path is read as Shift-JIS, where a trail byte may be 0x5C.
    std::string folder = folderArg;
    if (!folder.empty() && folder[0] == '/') {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    } else {
        folder = TrimTrailingSeparators(folder);
    }
    std::string program = Stem(archivePath) + ".EXE";
    if (!folder.empty()) program = folder + fs.SeparatorFor(folder) + program;
    return WriteThroughTemp(fs, program, ".EX$", out);
}

int CheckArchive(FileAccess& fs, const std::string& pathArg, int mode) {
    try {
        std::vector<std::uint8_t> bytes;
        Archive archive;
        int rc = ReadArchive(fs, Normalize(pathArg), &bytes, &archive);
        if (rc != kOk) return rc;
        if (archive.members.empty()) return kErrorNotArcFile;
        if (mode == 0 || mode == 1) return kOk;
        return VerifyAll(bytes, archive);
    } catch (const std::bad_alloc&) {
        return kErrorEnoughMemory;
    }
}

int RunCommand(FileAccess& fs, const std::string& commandLine, std::string* message,
               const SfxStub& stub) {
    CommandLine cmd;
    if (!ParseCommandLine(commandLine, &cmd) || cmd.paths.size() != 2) {
        *message = "usage: a -a1 ARCHIVE FILE | s ARCHIVE FOLDER\\";
        return kErrorCommandName;
    }
    const std::string first = Normalize(cmd.paths[0]);
    const std::string second = Normalize(cmd.paths[1]);
    int rc = kErrorCommandName;
    try {
        if (cmd.command == "a") {
            rc = AddFile(fs, first, second);
        } else if (cmd.command == "s") {
            rc = MakeSfx(fs, first, second, stub);
        } else {
            *message = "unknown command: " + cmd.command;
            return kErrorCommandName;
        }
    } catch (const std::bad_alloc&) {
        rc = kErrorEnoughMemory;
    }
    *message = rc == kOk ? "ok" : "failed: error " + std::to_string(rc);
    return rc;
}

}  // namespace sabrel::archiver
