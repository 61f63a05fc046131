// SPDX-License-Identifier: MIT
#include "backup/backup.h"

#include "common/format.h"
#include "common/paths.h"
#include "common/texts.h"
#include "ui/ui.h"

namespace sabrel::backup {

namespace {

using platform::DWORD;

// The short path query: a buffer of 256 characters offered with the limit 250.
constexpr std::size_t kShortPathBuffer = 256;
constexpr DWORD kShortPathLimit = 250;
// The mode of UnlhaCheckArchive that tests a self-extracting program.
constexpr int kCheckMode = 2;
// UnlhaCheckArchive's answer for a sound archive.
constexpr int kArchiveSound = 1;

// The archiver splits its command line at spaces; a path holding one is
// quoted so that it reaches the library as one argument.
std::string QuoteIfSpaced(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

// Messages carry Win32 codes and library results as signed decimals.
int AsInt(DWORD code) {
    return static_cast<int>(code);
}

// Clears every attribute of `path` and deletes it. True when no file of that
// name is left; otherwise *error holds the code of the refused deletion. A
// folder of that name is no file: it is left as it is, and making the backup
// then fails with that step's own message.
bool RemoveOld(const std::string& path, DWORD* error) {
    platform::Platform& p = platform::Get();
    const DWORD attributes = p.GetFileAttributesA(path.c_str());
    if (attributes != platform::kInvalidFileAttributes && (attributes & platform::kAttrDirectory))
        return true;
    p.SetFileAttributesA(path.c_str(), 0);
    *error = p.DeleteFileA(path.c_str()) ? platform::kErrorSuccess : p.GetLastError();
    if (!platform::FileExists(path)) return true;
    if (*error == platform::kErrorSuccess) *error = p.GetLastError();
    return false;
}

// The drive of a path ("C:"), empty when it has none.
std::string ExtractDrive(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

// Creates `folder` and every missing parent, one level at a time. Failures
// are left to the write that follows, which then reports the real cause.
void ForceDirectories(const std::string& folder) {
    platform::Platform& p = platform::Get();
    for (std::string::size_type i = 0; i < folder.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folder[i]);
        if (IsSjisLeadByte(c) && i + 1 < folder.size()) {
            ++i;
            continue;
        }
        if (c != '\\' || i == 0 || folder[i - 1] == ':') continue;
        p.CreateDirectoryA(folder.substr(0, i).c_str());
    }
    p.CreateDirectoryA(folder.c_str());
}

void Append(std::vector<std::string>* buffer, const std::vector<std::string>& lines) {
    buffer->insert(buffer->end(), lines.begin(), lines.end());
}

// Saves one hive; true when its backup exists and may get a batch block.
bool SaveHive(const BackupRequest& request, const std::string& entry, const std::string& hive) {
    platform::Platform& p = platform::Get();
    const bool archive = request.archiveMode;
    const std::string backup =
        archive ? ArchiveBackupName(hive, texts::kExtArchive) : CopyBackupName(hive);
    DWORD error = 0;
    if (!RemoveOld(backup, &error)) {
        ui::ShowMessage(Format(texts::kMsgCannotDeleteOldBackup, entry.c_str(), AsInt(error)));
        return false;
    }
    if (!archive) {
        if (!p.CopyFileA(hive.c_str(), backup.c_str(), 0)) {
            ui::ShowMessage(Format(texts::kMsgCopyFailure, entry.c_str(), AsInt(p.GetLastError())));
            return false;
        }
        return true;
    }

    const std::string program = ReplaceExtension(backup, texts::kExtSfx);
    if (!RemoveOld(program, &error)) {
        ui::ShowMessage(Format(texts::kMsgCannotDeleteOldArcExe, entry.c_str(), AsInt(error)));
        return false;
    }
    ArchiverApi* api = request.archiver;
    if (!api || !api->Usable()) {
        ui::ShowMessage(
            Format(texts::kMsgCompressFailure, entry.c_str(), AsInt(platform::kErrorProcNotFound)));
        return false;
    }
    if (api->getRunning()) {
        ui::ShowMessage(texts::kMsgUnlhaBusy);
        return false;
    }
    const std::string add =
        Format(texts::kCmdArchive, QuoteIfSpaced(backup).c_str(), QuoteIfSpaced(hive).c_str());
    int r = api->unlha(nullptr, add.c_str(), nullptr, 0);
    if (r != 0) {
        ui::ShowMessage(Format(texts::kMsgCompressFailure, entry.c_str(), r));
        return false;
    }
    // The folder argument ends in '\'; when quoted, the closing quote follows
    // that separator. The stand-in library takes a backslash as it is, so it
    // reads "...\Taro Yamada\" as the quoted folder; a library that read '\"'
    // as an escaped quote (the C runtime's rule) would run the folder on to
    // the end of the line.
    const std::string folder = ExtractFileDir(backup);
    std::string sfx =
        Format(texts::kCmdMakeSfx, QuoteIfSpaced(backup).c_str(),
               (folder.find(' ') == std::string::npos ? folder : "\"" + folder).c_str());
    if (folder.find(' ') != std::string::npos) sfx += '"';
    r = api->unlha(nullptr, sfx.c_str(), nullptr, 0);
    if (r != 0) {
        ui::ShowMessage(Format(texts::kMsgMakeSfxFailure, entry.c_str(), r));
        return false;
    }
    if (request.testArchive) {
        r = api->checkArchive(program.c_str(), kCheckMode);
        if (r != kArchiveSound) {
            ui::ShowMessage(Format(texts::kMsgCheckArchiveFailure, entry.c_str(), r));
            return false;
        }
    }
    p.DeleteFileA(backup.c_str());
    return true;
}

// The platform's 8.3 form of `path`; false with the last error set when there
// is none or it does not fit the limit.
bool ShortPath(const std::string& path, std::string* out) {
    platform::Platform& p = platform::Get();
    char buffer[kShortPathBuffer] = {};
    DWORD n = p.GetShortPathNameA(path.c_str(), buffer, kShortPathLimit);
    if (n == 0) return false;
    if (n >= kShortPathLimit) {
        p.SetLastError(platform::kErrorInsufficientBuffer);
        return false;
    }
    out->assign(buffer, n);
    return true;
}

}  // namespace

std::string CopyBackupName(const std::string& path) {
    return ReplaceExtension(path, texts::kExtCopyBackup);
}

std::string ArchiveBackupName(const std::string& path, const std::string& ext) {
    const std::string stem = ReplaceExtension(path, "");
    std::string name = ExtractFileName(stem);
    // Six bytes, but never half of a double-byte character.
    std::string::size_type cut = 0;
    while (cut < name.size()) {
        const unsigned char c = static_cast<unsigned char>(name[cut]);
        std::string::size_type next = cut + (IsSjisLeadByte(c) ? 2 : 1);
        if (next > 6) break;
        cut = next;
    }
    name.resize(cut);
    return ExtractFileDir(stem) + "\\" + name + "BU" + ext;
}

std::string BatchFilePath(const std::string& windowsDirectory) {
    return Format(texts::kBatchName, (windowsDirectory + texts::kBatchFolder).c_str());
}

texts::Language BatchLanguage() {
    return texts::LanguageForCodePage(platform::Get().GetACP());
}

namespace {

std::vector<std::string> LinesIn(const texts::Lines& lines, texts::Language language) {
    const char* const* first = lines.In(language);
    return {first, first + lines.count};
}

}  // namespace

std::vector<std::string> BatchHeader(texts::Language language) {
    return LinesIn(texts::kBatchHeader, language);
}

std::vector<std::string> BatchFooter(texts::Language language) {
    return LinesIn(texts::kBatchFooter, language);
}

std::vector<std::string> BatchBlock(bool archiveMode, const std::string& entry,
                                    const std::string& windowsDirectory,
                                    const std::string& shortHive, const std::string& shortBackup,
                                    texts::Language language) {
    std::vector<std::string> lines = {
        Format(texts::kBatchRestoring.In(language), entry.c_str()),
        Format(texts::kBatchAttrib, windowsDirectory.c_str(), shortHive.c_str()),
        Format(texts::kBatchAttrib, windowsDirectory.c_str(), shortBackup.c_str()),
        Format(texts::kBatchIfExistDel, shortBackup.c_str(), shortHive.c_str()),
    };
    if (archiveMode) {
        lines.push_back(ExtractDrive(shortHive));
        lines.push_back(Format(texts::kBatchCd, ExtractFileDir(shortHive).c_str()));
        lines.push_back(shortBackup);
        lines.push_back(texts::kBatchCdRoot);
    } else {
        lines.push_back(Format(texts::kBatchCopy, shortBackup.c_str(), shortHive.c_str()));
    }
    return lines;
}

void BackupReg(const BackupRequest& request) {
    if (request.rebuildOnly) return;
    bool anySelected = false;
    for (const BackupTarget& t : request.targets) anySelected = anySelected || t.selected;
    if (!anySelected) return;

    std::vector<std::string> ownBuffer;
    std::vector<std::string>* lines = request.lineBuffer ? request.lineBuffer : &ownBuffer;
    lines->clear();
    const texts::Language language = BatchLanguage();
    Append(lines, BatchHeader(language));

    platform::Platform& p = platform::Get();
    const std::string path = BatchFilePath(request.windowsDirectory);
    // A batch from an earlier backup names the backups that are about to be
    // deleted and made anew. It loses its blocks first, so that whenever the
    // run stops (a failure, a power cut) it names no backup that is gone or
    // half made.
    if (platform::FileExists(path)) {
        std::string bare;
        for (const std::string& line : BatchHeader(language)) bare += line + "\r\n";
        for (const std::string& line : BatchFooter(language)) bare += line + "\r\n";
        if (!p.WriteWholeFile(path.c_str(), bare.data(), bare.size())) {
            throw BatchWriteError(path, p.GetLastError());
        }
    }
    // The batch file runs in DOS mode, which knows no long names and splits a
    // command at its first space: ATTRIB is called through the Windows
    // directory's 8.3 form. Without one the directory goes as given.
    std::string dosWindows;
    if (!ShortPath(request.windowsDirectory, &dosWindows)) dosWindows = request.windowsDirectory;
    for (const BackupTarget& target : request.targets) {
        if (!target.selected) continue;
        const std::string hive = JoinPath(request.windowsDirectory, target.text);
        if (!SaveHive(request, target.text, hive)) continue;
        std::string shortHive;
        if (!ShortPath(hive, &shortHive)) {
            ui::ShowMessage(Format(texts::kMsgCannotGetShortPath, target.text.c_str(),
                                   AsInt(p.GetLastError())));
            continue;
        }
        const std::string shortBackup = request.archiveMode
                                            ? ArchiveBackupName(shortHive, texts::kExtSfx)
                                            : CopyBackupName(shortHive);
        Append(lines, BatchBlock(request.archiveMode, target.text, dosWindows, shortHive,
                                 shortBackup, language));
    }

    const std::string folder = request.windowsDirectory + texts::kBatchFolder;
    ForceDirectories(folder);
    Append(lines, BatchFooter(language));
    std::string text;
    for (const std::string& line : *lines) text += line + "\r\n";
    if (!p.WriteWholeFile(path.c_str(), text.data(), text.size())) {
        throw BatchWriteError(path, p.GetLastError());
    }
    lines->clear();
}

}  // namespace sabrel::backup
