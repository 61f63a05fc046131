// SPDX-License-Identifier: MIT
// An in-memory platform for the worker's and the replacement entries' tests:
// files by path with attributes, a short-path table, the temporary registry
// key, and a log of every WININIT.INI write. Each failure the run must
// handle can be switched on by itself; calls the run never makes fail with
// 120.
#pragma once

#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/paths.h"
#include "platform/platform.h"
#include "tests/support/failing_platform.h"

namespace sabrel::test {

using namespace sabrel::platform;

struct IniWrite {
    std::string section, key, value, file;
    bool remove = false;
};

class FakePlatform : public FailingPlatform {
  public:
    // --- set-up -------------------------------------------------------------
    void AddFile(const std::string& path, std::size_t size = 100, DWORD attrs = 0) {
        files[path] = File{attrs, size};
    }
    bool Has(const std::string& path) const { return files.count(path) != 0; }

    struct File {
        DWORD attrs = 0;
        std::size_t size = 0;
    };
    std::map<std::string, File> files;
    // long -> short; unmapped paths get ShortFormOf's 8.3 form, so that a
    // long name and its short form differ as on a real volume.
    std::map<std::string, std::string> shortNames;
    std::set<std::string> undeletable;
    DWORD shortPathResultOverride = 0;  // non-zero: returned instead of the length

    // The temporary key: absent, a loaded hive, or a foreign key that cannot
    // be unloaded.
    enum class TempKey { None, Loaded, Foreign } tempKey = TempKey::None;
    std::string loadedFile;
    bool refuseAllAccess = false;
    LONG loadError = 0, saveError = 0, unloadError = 0, openError = 0;
    // What a failing registry call leaves as the thread's last error; 0 leaves
    // it as it was, as the offline platform's calls do.
    DWORD registryLastError = 0;
    double saveRatio = 0.5;

    bool refuseIniWrites = false;
    bool refuseIniRemovals = false;
    std::vector<IniWrite> iniWrites;
    std::map<std::string, std::string> rename;  // the [Rename] section as it stands
    std::vector<std::string> calls;             // registry calls in order
    // Deletions and WININIT.INI changes in order: "delete <path>",
    // "unschedule <key>", "schedule <key>=<value>".
    std::vector<std::string> ops;

    // Entries of [Rename] whose value names no file: each would cost its hive
    // at the next start.
    std::vector<std::string> DanglingEntries() const {
        std::vector<std::string> dangling;
        for (const auto& entry : rename) {
            if (!files.count(entry.second)) dangling.push_back(entry.first + "=" + entry.second);
        }
        return dangling;
    }

    // --- Platform -----------------------------------------------------------
    int GetDbcsEnabled() override { return 1; }
    UINT GetACP() override { return 932; }

    DWORD GetFileAttributesA(const char* path) override {
        auto it = files.find(path);
        if (it == files.end()) {
            Fail(2);
            return kInvalidFileAttributes;
        }
        return it->second.attrs;
    }
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override {
        auto it = files.find(path);
        if (it == files.end()) return Fail(2);
        it->second.attrs = attributes == kAttrNormal ? 0 : attributes;
        return 1;
    }
    BOOL DeleteFileA(const char* path) override {
        auto it = files.find(path);
        if (it == files.end()) return Fail(2);
        if ((it->second.attrs & kAttrReadOnly) || undeletable.count(path)) return Fail(5);
        files.erase(it);
        ops.push_back(std::string("delete ") + path);
        return 1;
    }
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
        auto it = files.find(pattern);
        if (it == files.end()) {
            Fail(2);
            return kInvalidFindHandle;
        }
        data->dwFileAttributes = it->second.attrs;
        data->nFileSize = it->second.size;
        return reinterpret_cast<FindHandle>(1);
    }
    BOOL FindNextFileA(FindHandle, FindData*) override { return Fail(18); }
    BOOL FindClose(FindHandle) override { return 1; }
    DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) override {
        if (!files.count(longPath)) return Fail(2);
        auto it = shortNames.find(longPath);
        std::string s = it == shortNames.end() ? ShortFormOf(longPath) : it->second;
        if (shortPathResultOverride) return shortPathResultOverride;
        if (s.size() + 1 > size) return static_cast<DWORD>(s.size() + 1);
        std::memcpy(buffer, s.c_str(), s.size() + 1);
        return static_cast<DWORD>(s.size());
    }
    BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override {
        auto it = files.find(path);
        if (it == files.end()) return Fail(2);
        *size = it->second.size;
        return 1;
    }

    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) override {
        if (refuseIniWrites || (!value && refuseIniRemovals)) return Fail(5);
        iniWrites.push_back(IniWrite{section, key ? key : "", value ? value : "", file, !value});
        if (std::string(section) == "Rename" && key) {
            if (value) {
                rename[key] = value;
                ops.push_back(std::string("schedule ") + key + "=" + value);
            } else {
                rename.erase(key);
                ops.push_back(std::string("unschedule ") + key);
            }
        }
        return 1;
    }
    DWORD GetPrivateProfileStringA(const char*, const char*, const char*, char*, DWORD,
                                   const char*) override {
        return 0;
    }

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM access, HKEY* result) override {
        calls.push_back(access == kKeyAllAccess ? "open-all" : "open-read");
        if (root != kHkeyUsers || std::strcmp(subKey, "MIRONET_SABREL") != 0) return Reg(2);
        if (tempKey == TempKey::None) return Reg(2);
        if (openError) return Reg(openError);
        if (access == kKeyAllAccess && refuseAllAccess) return Reg(5);
        *result = 0x1234;
        return 0;
    }
    // A close that clears the last error: a failure before it must be read
    // before it.
    LONG RegCloseKey(HKEY) override {
        calls.push_back("close");
        lastError_ = 0;
        return 0;
    }
    LONG RegLoadKeyA(HKEY, const char*, const char* file) override {
        calls.push_back(std::string("load ") + file);
        if (loadError) return Reg(loadError);
        if (tempKey != TempKey::None) return Reg(183);
        if (!files.count(file) && !IsShortName(file)) return Reg(2);
        tempKey = TempKey::Loaded;
        loadedFile = file;
        return 0;
    }
    LONG RegSaveKeyA(HKEY, const char* file, void*) override {
        calls.push_back(std::string("save ") + file);
        if (saveError) return Reg(saveError);
        if (files.count(file)) return Reg(183);
        std::size_t size = files.count(loadedFile) ? files[loadedFile].size : 1000;
        files[file] = File{0, static_cast<std::size_t>(size * saveRatio)};
        return 0;
    }
    LONG RegUnLoadKeyA(HKEY, const char*) override {
        calls.push_back("unload");
        if (unloadError) return Reg(unloadError);
        if (tempKey == TempKey::Foreign) return Reg(5);
        if (tempKey == TempKey::None) return Reg(2);
        tempKey = TempKey::None;
        return 0;
    }

    BOOL CreateThread(ThreadProc proc, void* param, DWORD* threadId) override {
        std::thread t(proc, param);
        *threadId = 77;
        t.detach();
        return 1;
    }
    void Sleep(DWORD ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    BOOL ExitWindowsEx(UINT, DWORD) override { return Fail(5); }
    HMODULE LoadLibraryA(const char*) override {
        Fail(126);
        return nullptr;
    }
    void* GetProcAddress(HMODULE, const char*) override { return nullptr; }
    BOOL FreeLibrary(HMODULE) override { return 1; }

    // The 8.3 form of each component: a valid 8.3 name upper-cased; any other
    // its first six bytes without spaces or dots (never half a double-byte
    // character), upper-cased, "~1", then the first three bytes of its
    // extension. "C:\\WINDOWS\\Profiles\\Taro Yamada" -> "C:\\WINDOWS\\PROFILES\\TAROYA~1".
    static std::string ShortFormOf(const std::string& path) {
        std::string out, part;
        for (std::size_t i = 0; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == '\\') {
                out += ShortComponent(part);
                if (i < path.size()) out += '\\';
                part.clear();
            } else {
                part += path[i];
                if (IsSjisLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
                    part += path[++i];
                }
            }
        }
        return out;
    }

  private:
    static std::string Upper(const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (IsSjisLeadByte(c) && i + 1 < text.size()) {
                out += text.substr(i++, 2);
            } else {
                out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            }
        }
        return out;
    }
    // The first `limit` bytes of `text` without spaces and dots, whole
    // characters only.
    static std::string Cut(const std::string& text, std::size_t limit) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            std::size_t n = IsSjisLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
            if (n == 1 && (text[i] == ' ' || text[i] == '.')) continue;
            if (out.size() + n > limit) break;
            out += text.substr(i, n);
            i += n - 1;
        }
        return out;
    }
    static std::string ShortComponent(const std::string& name) {
        if (name.empty() || name.back() == ':') return name;
        std::size_t dot = name.rfind('.');
        std::string base = dot == std::string::npos ? name : name.substr(0, dot);
        std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
        bool fits = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                    base.find_first_of(". ") == std::string::npos &&
                    ext.find_first_of(". ") == std::string::npos;
        if (fits) return Upper(name);
        std::string s = Upper(Cut(base, 6)) + "~1";
        std::string e = Upper(Cut(ext, 3));
        return e.empty() ? s : s + "." + e;
    }
    bool IsShortName(const std::string& path) const {
        for (const auto& entry : shortNames) {
            if (entry.second == path) return true;
        }
        for (const auto& entry : files) {
            if (!shortNames.count(entry.first) && ShortFormOf(entry.first) == path) return true;
        }
        return false;
    }
    LONG Reg(LONG code) {
        if (code != 0 && registryLastError) LastError() = registryLastError;
        return code;
    }
    // Worker threads call in; each keeps its own last error, as on Windows.
    DWORD& LastError() override { return lastError_; }
    static thread_local DWORD lastError_;
};

inline thread_local DWORD FakePlatform::lastError_ = 0;

}  // namespace sabrel::test
