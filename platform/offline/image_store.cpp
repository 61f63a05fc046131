// SPDX-License-Identifier: MIT
#include "platform/offline/image_store.h"

#include <ctime>
#include <mutex>
#include <set>
#include <vector>

#include "creg/creg_writer.h"
#include "platform/offline/offline_state.h"
#include "platform/offline/profile.h"
#include "platform/offline/registry/registry_engine.h"

namespace sabrel::platform::offline {

namespace {

using fat::DirEntry;
using fat::FatError;

constexpr DWORD kErrorFileCorrupt = 1392;
constexpr DWORD kErrorIoDevice = 1117;
constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kAttrMask = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

DWORD Win32Of(FatError e) {
    switch (e) {
        case FatError::kNone:
            return 0;
        case FatError::kNotFound:
            return kErrorFileNotFound;
        case FatError::kExists:
            return kErrorAlreadyExists;
        case FatError::kNotADirectory:
            return kErrorPathNotFound;
        case FatError::kIsADirectory:
            return kErrorAccessDenied;
        case FatError::kNotEmpty:
            return kErrorDirNotEmpty;
        case FatError::kDiskFull:
            return kErrorDiskFull;
        case FatError::kBadName:
            return kErrorInvalidName;
        case FatError::kCorrupt:
            return kErrorFileCorrupt;
        case FatError::kIo:
            return kErrorIoDevice;
    }
    return kErrorIoDevice;
}

bool FailFat(FatError e) {
    return Fail(Win32Of(e));
}

class StringSink : public hive::ByteSink {
  public:
    std::uint32_t Write(const std::uint8_t* data, std::size_t length) override {
        try {
            bytes.append(reinterpret_cast<const char*>(data), length);
        } catch (const std::bad_alloc&) {
            return kErrorNotEnoughMemory;
        }
        return 0;
    }
    std::string bytes;
};

fat::DosStamp Now() {
    return fat::DosStamp::FromTime(std::time(nullptr));
}

class FatStore : public ImageStore {
  public:
    explicit FatStore(UINT codePage) : ansi_(codePage), oem_(OemCodePageOf(codePage)) {}

    fat::ImageError OpenVolume(const std::string& image, unsigned partition, std::string* foreign) {
        fat::ImageError e = fat::OpenImage(image, partition, true, &oem_, &ansi_, &image_);
        *foreign = image_.foreign;
        return e;
    }

    const std::string& windowsDirectory() const override { return image_.winDir; }

    void UseCodePage(UINT codePage) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ansi_ = CodePage(codePage);
        oem_ = CodePage(OemCodePageOf(codePage));
    }

    bool IsFolder(const std::string& dosPath) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        return Locate(dosPath, &p) == 0 && p.exists && p.entry.IsDirectory();
    }

    DWORD GetAttributes(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return kInvalidFileAttributes;
        return AttributesOf(p.entry);
    }

    BOOL SetAttributes(const std::string& path, DWORD attributes) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        if (p.rel.empty()) return Fail(kErrorAccessDenied);
        return Done(
            volume().SetAttributes(p.rel, static_cast<std::uint8_t>(attributes & kAttrMask)));
    }

    BOOL DeleteFile(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        if (p.entry.IsDirectory() || (p.entry.attributes & fat::attr::kReadOnly))
            return Fail(kErrorAccessDenied);
        if (Held(p.entry)) return Fail(kErrorSharingViolation);
        return Done(volume().Remove(p.rel));
    }

    BOOL CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place src, dst;
        if (!Existing(from, &src)) return false;
        if (src.entry.IsDirectory()) return Fail(kErrorAccessDenied);
        if (DWORD code = Locate(to, &dst)) return Fail(code);
        if (dst.exists) {
            if (failIfExists) return Fail(kErrorFileExists);
            if (dst.entry.IsDirectory() || (dst.entry.attributes & fat::attr::kReadOnly))
                return Fail(kErrorAccessDenied);
            if (Same(src.entry, dst.entry) || Held(dst.entry)) return Fail(kErrorSharingViolation);
        }
        std::string data;
        FatError e = volume().Read(src.entry, &data);
        if (e != FatError::kNone) return FailFat(e);
        if ((e = volume().WriteFile(dst.rel, data, Now())) != FatError::kNone) return FailFat(e);
        // The copy takes the source's attributes, as on Windows.
        std::uint8_t attrs =
            static_cast<std::uint8_t>((src.entry.attributes & kAttrMask) | fat::attr::kArchive);
        return Done(volume().SetAttributes(dst.rel, attrs));
    }

    BOOL MoveFile(const std::string& from, const std::string& to) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place src, dst;
        if (!Existing(from, &src)) return false;
        if (DWORD code = Locate(to, &dst)) return Fail(code);
        if (dst.exists && !Same(src.entry, dst.entry)) return Fail(kErrorAlreadyExists);
        if (src.rel.empty()) return Fail(kErrorAccessDenied);
        if (Held(src.entry)) return Fail(kErrorSharingViolation);
        return Done(volume().Rename(src.rel, dst.rel));
    }

    BOOL CreateDirectory(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (DWORD code = Locate(path, &p)) return Fail(code);
        if (p.exists) return Fail(kErrorAlreadyExists);
        return Done(volume().MakeDirectory(p.rel, Now()));
    }

    BOOL RemoveDirectory(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        if (!p.entry.IsDirectory()) return Fail(kErrorDirectoryInvalid);
        if (p.rel.empty()) return Fail(kErrorAccessDenied);
        return Done(volume().Remove(p.rel));
    }

    BOOL List(const std::string& folder, std::vector<FindData>* out) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (Locate(folder, &p) != 0 || !p.exists || !p.entry.IsDirectory())
            return Fail(kErrorPathNotFound);
        out->clear();
        std::uint32_t cluster = p.rel.empty() ? volume().root() : p.entry.firstCluster;
        if (!p.rel.empty()) {
            for (const char* dot : {".", ".."}) {
                FindData d;
                d.dwFileAttributes = AttributesOf(p.entry);
                d.cFileName = dot;
                out->push_back(d);
            }
        }
        std::vector<DirEntry> entries;
        FatError e = volume().List(cluster, &entries);
        if (e != FatError::kNone) return FailFat(e);
        for (const DirEntry& entry : entries) {
            FindData d;
            d.dwFileAttributes = AttributesOf(entry);
            d.nFileSize = entry.IsDirectory() ? 0 : entry.size;
            d.cFileName = entry.name;
            if (entry.hasLongName && entry.shortName != entry.name)
                d.cAlternateFileName = entry.shortName;
            out->push_back(std::move(d));
        }
        return true;
    }

    BOOL ShortPath(const std::string& path, std::string* out) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        std::string prefix, rel;
        if (!Split(path, &prefix, &rel)) return Fail(kErrorPathNotFound);
        std::string walked, result = prefix;
        for (const std::string& part : Components(rel)) {
            if (part == ".") continue;
            walked += (walked.empty() ? "" : "\\") + part;
            DirEntry e;
            FatError fe = volume().Find(Normalize(walked), &e);
            if (fe != FatError::kNone) return FailFat(fe);
            if (!result.empty() && result.back() != '\\') result += '\\';
            result += part == ".." ? part : e.shortName;
        }
        *out = result;
        return true;
    }

    BOOL ReadFile(const std::string& path, std::vector<std::uint8_t>* out) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        if (p.entry.IsDirectory()) return Fail(kErrorAccessDenied);
        FatError e = volume().Read(p.entry, out);
        return e == FatError::kNone || FailFat(e);
    }

    BOOL FileSize(const std::string& path, std::uint64_t* size) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        if (p.entry.IsDirectory()) return Fail(kErrorAccessDenied);
        *size = p.entry.size;
        return true;
    }

    BOOL DosTime(const std::string& path, std::uint16_t* date, std::uint16_t* time) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (!Existing(path, &p)) return false;
        *date = p.entry.written.date;
        *time = p.entry.written.time;
        return true;
    }

    BOOL WriteFile(const std::string& path, const void* data, std::size_t size) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (DWORD code = Writable(path, &p)) return Fail(code);
        return Done(volume().WriteFile(p.rel, static_cast<const char*>(data), size, Now()));
    }

    std::string ReadText(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        std::string text;
        if (Locate(path, &p) == 0 && p.exists && !p.entry.IsDirectory() &&
            volume().Read(p.entry, &text) != FatError::kNone) {
            text.clear();
        }
        return text;
    }

    BOOL EditText(const std::string& path,
                  const std::function<bool(std::string* text)>& edit) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Place p;
        if (DWORD code = Locate(path, &p)) return Fail(code);
        std::string text;
        if (p.exists) {
            if (p.entry.IsDirectory()) return Fail(kErrorAccessDenied);
            FatError e = volume().Read(p.entry, &text);
            if (e != FatError::kNone) return FailFat(e);
        }
        if (!edit(&text)) return true;
        if (p.exists && (p.entry.attributes & fat::attr::kReadOnly))
            return Fail(kErrorAccessDenied);
        if (p.exists && Held(p.entry)) return Fail(kErrorSharingViolation);
        return Done(volume().WriteFile(p.rel, text, Now()));
    }

    LONG LoadHive(RegistryEngine& registry, HKEY root, const std::string& subKey,
                  const std::string& path) override {
        std::vector<std::uint8_t> bytes;
        std::uint32_t cluster = 0;
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            Place p;
            if (DWORD code = Locate(path, &p)) return static_cast<LONG>(code);
            if (!p.exists) return kErrorFileNotFound;
            if (p.entry.IsDirectory()) return kErrorAccessDenied;
            // A hive is the engine's until it is unloaded, as its open file
            // is on Windows: a second load is refused.
            if (Held(p.entry)) return kErrorSharingViolation;
            FatError e = volume().Read(p.entry, &bytes);
            if (e != FatError::kNone) return static_cast<LONG>(Win32Of(e));
            cluster = p.entry.firstCluster;
            held_.insert(cluster);
        }
        return registry.LoadKeyFromBytes(root, subKey, std::move(bytes), true, [this, cluster] {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            held_.erase(cluster);
        });
    }

    LONG SaveHive(RegistryEngine& registry, HKEY key, const std::string& path) override {
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            Place p;
            if (DWORD code = Locate(path, &p)) return static_cast<LONG>(code);
            if (p.exists) return kErrorAlreadyExists;
        }
        return registry.SaveKeyWith(key, [&](const hive::CregTree& tree) -> DWORD {
            StringSink sink;
            DWORD code = hive::WriteCompact(tree, 0, sink);
            if (code) return code;
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            // The rebuilt file gets its name only once its clusters and chain
            // are on the disk, and it never replaces anything.
            Place p;
            if ((code = Locate(path, &p)) != 0) return code;
            if (p.exists) return kErrorAlreadyExists;
            FatError e = volume().WriteFile(p.rel, sink.bytes, Now());
            if (e == FatError::kNone && !image_.file->Flush()) e = FatError::kIo;
            return Win32Of(e);
        });
    }

    RestartResult CarryOutRestart(RestartMode mode) override;

  private:
    // Where a DOS path lies on the volume.
    struct Place {
        std::string rel;  // below the root, backslashes; "" for the root
        bool exists = false;
        DirEntry entry;
    };

    fat::Volume& volume() { return *image_.volume; }

    std::vector<std::string> Components(const std::string& rel) const {
        return fat::PathComponents(rel, ansi_);
    }

    // "." and ".." resolved, components joined by single backslashes.
    std::string Normalize(const std::string& rel) const {
        std::vector<std::string> out;
        for (const std::string& part : Components(rel)) {
            if (part == ".") continue;
            if (part == "..") {
                if (!out.empty()) out.pop_back();
                continue;
            }
            out.push_back(part);
        }
        std::string joined;
        for (const std::string& part : out) joined += (joined.empty() ? "" : "\\") + part;
        return joined;
    }

    // Splits "C:\A\B" into the drive part "C:\" and "A\B". Only drive C:
    // exists; a path without a drive starts at its root, and host paths
    // have no place on the volume.
    bool Split(const std::string& dos, std::string* prefix, std::string* rel) const {
        if (!dos.empty() && dos[0] == '/' && (dos.size() < 2 || dos[1] != '/')) {
            std::size_t i = 0;
            while (i < dos.size() && (dos[i] == '/' || dos[i] == '\\')) ++i;
            *prefix = dos.substr(0, i);
            *rel = dos.substr(i);
            return false;
        }
        std::size_t i = 0;
        if (dos.size() >= 2 && dos[1] == ':') {
            if (dos[0] != 'C' && dos[0] != 'c') return false;
            i = 2;
        }
        while (i < dos.size() && (dos[i] == '\\' || dos[i] == '/')) ++i;
        *prefix = dos.substr(0, i);
        *rel = dos.substr(i);
        return true;
    }

    // 0 when the path's folder exists (p->exists tells about the path
    // itself); 3 when a folder on the way is missing, 123 for a bad name.
    DWORD Locate(const std::string& dos, Place* p) {
        std::string prefix, rel;
        if (!Split(dos, &prefix, &rel)) return kErrorPathNotFound;
        if (rel.find_first_of("*?") != std::string::npos) return kErrorInvalidName;
        p->rel = Normalize(rel);
        p->exists = false;
        FatError e = volume().Find(p->rel, &p->entry);
        if (e == FatError::kNone) {
            p->exists = true;
            return 0;
        }
        if (e != FatError::kNotFound && e != FatError::kNotADirectory) return Win32Of(e);
        std::vector<std::string> parts = Components(p->rel);
        std::string parent;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
            parent += (parent.empty() ? "" : "\\") + parts[i];
        DirEntry up;
        if (e == FatError::kNotFound && volume().Find(parent, &up) == FatError::kNone &&
            up.IsDirectory()) {
            return 0;
        }
        return kErrorPathNotFound;
    }

    // An existing path, else false with 2 (or 3 when a folder is missing).
    bool Existing(const std::string& dos, Place* p) {
        DWORD code = Locate(dos, p);
        if (code) return Fail(code);
        return p->exists || Fail(kErrorFileNotFound);
    }

    // A path that a whole file may be written to: 0, or why not.
    DWORD Writable(const std::string& dos, Place* p) {
        if (DWORD code = Locate(dos, p)) return code;
        if (!p->exists) return 0;
        if (p->entry.IsDirectory() || (p->entry.attributes & fat::attr::kReadOnly))
            return kErrorAccessDenied;
        return Held(p->entry) ? DWORD{kErrorSharingViolation} : DWORD{0};
    }

    static DWORD AttributesOf(const DirEntry& e) {
        return e.attributes & (kAttrMask | kAttrDirectory);
    }

    static bool Same(const DirEntry& a, const DirEntry& b) {
        return a.folder == b.folder && a.slot == b.slot;
    }

    bool Held(const DirEntry& e) const {
        return e.firstCluster != 0 && held_.count(e.firstCluster);
    }

    // Makes a finished change durable: it is on the disk before the call
    // returns, as the folder tree's writes are.
    BOOL Done(FatError e) {
        if (e == FatError::kNone && !image_.file->Flush()) e = FatError::kIo;
        return e == FatError::kNone || FailFat(e);
    }

    CodePage ansi_;
    CodePage oem_;
    fat::OpenedImage image_;
    std::recursive_mutex mutex_;
    std::set<std::uint32_t> held_;  // first clusters of loaded hives
};

RestartResult FatStore::CarryOutRestart(RestartMode mode) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    RestartResult result;
    const std::string ini = image_.winDir + "\\WININIT.INI";
    const std::string bak = image_.winDir + "\\WININIT.BAK";
    Place iniPlace, bakPlace;
    if (Locate(ini, &iniPlace) != 0 || !iniPlace.exists) return result;
    // The claim: WININIT.INI becomes WININIT.BAK on the disk before any
    // entry is carried out, so that none is carried out twice.
    DWORD code = Locate(bak, &bakPlace);
    std::string text;
    if (!code) {
        FatError e = bakPlace.exists ? volume().Replace(iniPlace.rel, bakPlace.rel)
                                     : volume().Rename(iniPlace.rel, bakPlace.rel);
        if (e == FatError::kNone && !image_.file->Flush()) e = FatError::kIo;
        code = Win32Of(e);
    }
    if (!code) {
        Place claimed;
        code = Locate(bak, &claimed);
        if (!code && claimed.exists) code = Win32Of(volume().Read(claimed.entry, &text));
    }
    if (code) {
        result.claimError = code;
        return result;
    }
    for (const auto& [key, value] : profile::Entries(text, "Rename", ansi_)) {
        RenameOutcome o{key, value, RenameOutcome::Result::kFailed, 0};
        Place src, dst;
        bool srcThere = Locate(value, &src) == 0 && src.exists && !src.entry.IsDirectory();
        if (ansi_.EqualNoCase(key, "NUL")) {
            if (!srcThere) {
                o.result = RenameOutcome::Result::kSourceMissing;
            } else {
                FatError e = volume().Remove(src.rel);
                o.result = e == FatError::kNone ? RenameOutcome::Result::kDeleted
                                                : RenameOutcome::Result::kFailed;
                o.error = Win32Of(e);
            }
            result.outcomes.push_back(o);
            continue;
        }
        DWORD dstError = Locate(key, &dst);
        if (!srcThere) {
            o.result = RenameOutcome::Result::kSourceMissing;
            // Windows deletes the destination first and only then finds
            // nothing to move in its place.
            if (mode == RestartMode::kStrict && !dstError && dst.exists) {
                FatError e = volume().Remove(dst.rel);
                o.result = e == FatError::kNone ? RenameOutcome::Result::kDestinationLost
                                                : RenameOutcome::Result::kFailed;
                o.error = Win32Of(e);
            }
            result.outcomes.push_back(o);
            continue;
        }
        if (dstError) {
            o.error = dstError;
            result.outcomes.push_back(o);
            continue;
        }
        FatError e = FatError::kNone;
        if (dst.exists && Held(dst.entry)) {
            o.error = kErrorSharingViolation;
            result.outcomes.push_back(o);
            continue;
        }
        if (!dst.exists) {
            e = volume().Rename(src.rel, dst.rel);
        } else if (!Same(src.entry, dst.entry)) {
            // The destination is never missing: its entry takes the new
            // contents in one write.
            e = volume().Replace(src.rel, dst.rel);
        }
        if (e == FatError::kNone && !image_.file->Flush()) e = FatError::kIo;
        o.result = e == FatError::kNone ? RenameOutcome::Result::kReplaced
                                        : RenameOutcome::Result::kFailed;
        o.error = Win32Of(e);
        result.outcomes.push_back(o);
    }
    image_.file->Flush();
    return result;
}

}  // namespace

ImageStore::~ImageStore() = default;

fat::ImageError ImageStore::Open(const std::string& image, unsigned partition, UINT codePage,
                                 std::unique_ptr<ImageStore>* out, std::string* foreign) {
    auto store = std::make_unique<FatStore>(codePage);
    fat::ImageError e = store->OpenVolume(image, partition, foreign);
    if (e == fat::ImageError::kNone) *out = std::move(store);
    return e;
}

UINT OemCodePageOf(UINT ansi) {
    switch (ansi) {
        case 1250:
            return 852;
        case 1251:
            return 866;
        case 1252:
            return 850;
        case 1253:
            return 737;
        case 1254:
            return 857;
        case 1255:
            return 862;
        case 1256:
            return 864;  // Arabic's own 720 has no converter here; 864 holds the same letters
        case 1257:
            return 775;
        default:
            return ansi;  // the East Asian code pages and 874 are their own OEM code page
    }
}

}  // namespace sabrel::platform::offline
