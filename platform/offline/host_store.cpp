// SPDX-License-Identifier: MIT
#include "platform/offline/host_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/offline/dos_attributes.h"
#include "platform/offline/fat/volume.h"
#include "platform/offline/host_files.h"
#include "platform/offline/offline_state.h"
#include "platform/offline/registry/registry_engine.h"

namespace sabrel::platform::offline {

namespace {

class HostStore : public FileStore {
  public:
    HostStore(const DosPaths* paths, const std::string* windir)
        : paths_(*paths), windir_(*windir) {}

    DWORD GetAttributes(const std::string& path) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return kInvalidFileAttributes;
        DWORD attrs = ReadDosAttributes(m.host);
        if (attrs == kInvalidFileAttributes) FailErrno();
        return attrs;
    }

    BOOL SetAttributes(const std::string& path, DWORD attributes) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        if (!WriteDosAttributes(m.host, attributes)) {
            return errno == ENOTSUP ? Fail(kErrorInvalidFunction) : FailErrno();
        }
        return true;
    }

    BOOL DeleteFile(const std::string& path) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        if (IsDir(m.host)) return Fail(kErrorAccessDenied);
        DWORD attrs = ReadDosAttributes(m.host);
        if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
            return Fail(kErrorAccessDenied);
        if (::unlink(m.host.c_str()) != 0) return FailErrno();
        return true;
    }

    BOOL CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
        DosPaths::Mapping src, dst;
        if (!MapExisting(paths_, from, &src)) return false;
        if (IsDir(src.host)) return Fail(kErrorAccessDenied);
        if (!paths_.Map(to, &dst)) return Fail(dst.missingError);
        if (dst.exists) {
            if (failIfExists) return Fail(kErrorFileExists);
            if (IsDir(dst.host)) return Fail(kErrorAccessDenied);
            DWORD attrs = ReadDosAttributes(dst.host);
            if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
                return Fail(kErrorAccessDenied);
            if (dst.host == src.host) return Fail(kErrorSharingViolation);
        }
        std::vector<std::uint8_t> data;
        if (!ReadHostFile(src.host, &data)) return FailErrno();
        DWORD srcAttrs = ReadDosAttributes(src.host);
        if (!WriteHostFileAtomically(dst.host, data.data(), data.size(), NewFileMode()))
            return false;
        // The copy takes the source's attributes, as on Windows.
        if (srcAttrs != kInvalidFileAttributes)
            WriteDosAttributes(dst.host, srcAttrs | kAttrArchive);
        return true;
    }

    BOOL MoveFile(const std::string& from, const std::string& to) override {
        DosPaths::Mapping src, dst;
        if (!MapExisting(paths_, from, &src)) return false;
        if (!paths_.Map(to, &dst)) return Fail(dst.missingError);
        if (dst.exists && dst.host != src.host) return Fail(kErrorAlreadyExists);
        if (::rename(src.host.c_str(), dst.host.c_str()) == 0) return true;
        if (errno != EXDEV || IsDir(src.host)) return FailErrno();
        // Across file systems: copy, then remove the source.
        std::vector<std::uint8_t> data;
        if (!ReadHostFile(src.host, &data)) return FailErrno();
        DWORD attrs = ReadDosAttributes(src.host);
        if (!WriteHostFileAtomically(dst.host, data.data(), data.size(), NewFileMode()))
            return false;
        if (attrs != kInvalidFileAttributes) WriteDosAttributes(dst.host, attrs);
        if (::unlink(src.host.c_str()) != 0) return FailErrno();
        return true;
    }

    BOOL CreateDirectory(const std::string& path) override {
        DosPaths::Mapping m;
        if (!paths_.Map(path, &m)) return Fail(m.missingError);
        if (m.exists) return Fail(kErrorAlreadyExists);
        if (::mkdir(m.host.c_str(), 0777) != 0) {
            return errno == EEXIST ? Fail(kErrorAlreadyExists)
                                   : (errno == ENOENT ? Fail(kErrorPathNotFound) : FailErrno());
        }
        return true;
    }

    BOOL RemoveDirectory(const std::string& path) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        if (!IsDir(m.host)) return Fail(kErrorDirectoryInvalid);
        if (::rmdir(m.host.c_str()) != 0) {
            return (errno == ENOTEMPTY || errno == EEXIST) ? Fail(kErrorDirNotEmpty) : FailErrno();
        }
        return true;
    }

    BOOL List(const std::string& folder, std::vector<FindData>* out) override {
        std::string hostDir;
        if (folder.empty()) {
            char cwd[4096];
            if (!getcwd(cwd, sizeof cwd)) return FailErrno();
            hostDir = cwd;
        } else {
            DosPaths::Mapping m;
            if (!paths_.Map(folder, &m) || !m.exists) return Fail(kErrorPathNotFound);
            hostDir = m.host;
            if (!IsDir(hostDir)) return Fail(kErrorPathNotFound);
        }
        out->clear();
        // Every folder but a drive's root lists "." and "..", as on Windows.
        if (hostDir != paths_.driveC()) {
            for (const char* dot : {".", ".."}) {
                FindData d;
                d.dwFileAttributes = ReadDosAttributes(hostDir);
                if (d.dwFileAttributes == kInvalidFileAttributes)
                    d.dwFileAttributes = kAttrDirectory;
                d.cFileName = dot;
                out->push_back(d);
            }
        }
        std::vector<DosDirEntry> entries;
        if (!ListDosDirectory(hostDir, paths_.codePage(), &entries)) return FailErrno();
        for (const auto& e : entries) {
            std::string host = hostDir + "/" + e.hostName;
            struct stat st;
            if (::stat(host.c_str(), &st) != 0) continue;  // dangling link or gone since
            FindData d;
            d.dwFileAttributes = ReadDosAttributes(host);
            if (d.dwFileAttributes == kInvalidFileAttributes) continue;
            d.nFileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
            d.cFileName = e.longName;
            if (e.alias != e.longName) d.cAlternateFileName = e.alias;
            out->push_back(std::move(d));
        }
        return true;
    }

    BOOL ShortPath(const std::string& path, std::string* out) override {
        DWORD error = 0;
        return paths_.ShortPath(path, out, &error) || Fail(error);
    }

    BOOL ReadFile(const std::string& path, std::vector<std::uint8_t>* out) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        if (!ReadHostFile(m.host, out)) return FailErrno();
        return true;
    }

    std::unique_ptr<FileImage> OpenImage(const std::string& path) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return nullptr;
        std::unique_ptr<FileImage> image = MapHostFile(m.host);
        if (!image) FailErrno();
        return image;
    }

    BOOL FileSize(const std::string& path, std::uint64_t* size) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        struct stat st;
        if (::stat(m.host.c_str(), &st) != 0) return FailErrno();
        if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
        *size = static_cast<std::uint64_t>(st.st_size);
        return true;
    }

    BOOL DosTime(const std::string& path, std::uint16_t* date, std::uint16_t* time) override {
        DosPaths::Mapping m;
        if (!MapExisting(paths_, path, &m)) return false;
        struct stat st;
        if (::stat(m.host.c_str(), &st) != 0) return FailErrno();
        const fat::DosStamp stamp = fat::DosStamp::FromTime(st.st_mtime);
        *date = stamp.date;
        *time = stamp.time;
        return true;
    }

    BOOL WriteFile(const std::string& path, const void* data, std::size_t size) override {
        DosPaths::Mapping m;
        if (!paths_.Map(path, &m)) return Fail(m.missingError);
        DWORD attrs = kInvalidFileAttributes;
        if (m.exists) {
            if (IsDir(m.host)) return Fail(kErrorAccessDenied);
            attrs = ReadDosAttributes(m.host);
            if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
                return Fail(kErrorAccessDenied);
        }
        if (!WriteHostFileAtomically(m.host, data, size, NewFileMode())) return false;
        // A replaced file keeps its hidden and system attributes.
        if (attrs != kInvalidFileAttributes) WriteDosAttributes(m.host, attrs | kAttrArchive);
        return true;
    }

    std::string ReadText(const std::string& path) override {
        std::string text;
        DosPaths::Mapping m;
        if (paths_.Map(path, &m) && m.exists) {
            std::vector<std::uint8_t> bytes;
            if (ReadHostFile(m.host, &bytes)) text.assign(bytes.begin(), bytes.end());
        }
        return text;
    }

    BOOL EditText(const std::string& path,
                  const std::function<bool(std::string* text)>& edit) override {
        DosPaths::Mapping m;
        if (!paths_.Map(path, &m)) return Fail(m.missingError);
        std::string text;
        DWORD attrs = kInvalidFileAttributes;
        mode_t mode = NewFileMode();
        if (m.exists) {
            std::vector<std::uint8_t> bytes;
            if (!ReadHostFile(m.host, &bytes)) return FailErrno();
            text.assign(bytes.begin(), bytes.end());
            attrs = ReadDosAttributes(m.host);
            struct stat st;
            if (::stat(m.host.c_str(), &st) == 0) mode = st.st_mode & 07777;
        }
        if (!edit(&text)) return true;
        if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
            return Fail(kErrorAccessDenied);
        if (!WriteHostFileAtomically(m.host, text.data(), text.size(), mode)) return false;
        if (attrs != kInvalidFileAttributes) WriteDosAttributes(m.host, attrs | kAttrArchive);
        return true;
    }

    LONG LoadHive(RegistryEngine& registry, HKEY root, const std::string& subKey,
                  const std::string& path) override {
        DosPaths::Mapping m;
        if (!paths_.Map(path, &m) || !m.exists)
            return static_cast<LONG>(m.missingError ? m.missingError : kErrorFileNotFound);
        return registry.LoadKey(root, subKey, m.host);
    }

    LONG SaveHive(RegistryEngine& registry, HKEY key, const std::string& path) override {
        DosPaths::Mapping m;
        if (!paths_.Map(path, &m)) return static_cast<LONG>(m.missingError);
        if (m.exists) return kErrorAlreadyExists;
        return registry.SaveKey(key, m.host);
    }

    RestartResult CarryOutRestart(RestartMode mode) override {
        return CarryOutWininit(paths_, windir_, mode);
    }

  private:
    const DosPaths& paths_;
    const std::string& windir_;
};

}  // namespace

std::unique_ptr<FileStore> MakeHostStore(const DosPaths* paths,
                                         const std::string* hostWindowsDirectory) {
    return std::make_unique<HostStore>(paths, hostWindowsDirectory);
}

}  // namespace sabrel::platform::offline
