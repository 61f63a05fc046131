// SPDX-License-Identifier: MIT
// The offline platform's private profiles (INI files) and registry calls.
#include <cstring>
#include <vector>

#include "platform/offline/file_store.h"
#include "platform/offline/offline_state.h"
#include "platform/offline/profile.h"

namespace sabrel::platform::offline {

// --- Private profile --------------------------------------------------------------

namespace {

// A profile name without a folder lives in the Windows directory.
std::string ProfilePath(const char* file, const std::string& windowsDir, const CodePage& cp) {
    std::string f = file;
    for (std::size_t i = 0; i < f.size(); ++i) {
        auto c = static_cast<std::uint8_t>(f[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') return f;
    }
    // Without a Windows directory there is no place for it (an empty path
    // fails with 3).
    return windowsDir.empty() ? std::string() : windowsDir + "\\" + f;
}

bool HasLineBreak(const char* s) {
    return s && std::strpbrk(s, "\r\n") != nullptr;
}

// Copies `text` into a Win32 string buffer; returns the count copied.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
    if (size == 0) return 0;
    std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

// Copies a list of names, each ended by NUL, the list by a second NUL.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) buffer[0] = 0;
        return 0;
    }
    std::string all;
    for (const auto& n : names) all += n + '\0';
    if (all.size() + 1 > size) {
        std::memcpy(buffer, all.data(), size - 2);
        buffer[size - 2] = 0;
        buffer[size - 1] = 0;
        return size - 2;
    }
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = 0;
    if (all.empty()) buffer[1] = 0;
    return static_cast<DWORD>(all.size());
}

}  // namespace

BOOL OfflinePlatform::WritePrivateProfileStringA(const char* section, const char* key,
                                                 const char* value, const char* file) {
    if (!file) return Fail(kErrorInvalidParameter);
    if (!section) return true;  // only flushes the cache on Windows
    // A line break would split the entry and plant lines of its own.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return Fail(kErrorInvalidParameter);
    char windir[260];
    UINT n = GetWindowsDirectoryA(windir, sizeof windir);
    std::string dosPath = ProfilePath(file, (n > 0 && n < sizeof windir) ? windir : "", state_->cp);
    std::string keyText = key ? key : "";
    std::string valueText = value ? value : "";
    return state_->store->EditText(dosPath, [&](std::string* text) {
        return profile::Write(text, section, key ? &keyText : nullptr, value ? &valueText : nullptr,
                              state_->cp);
    });
}

DWORD OfflinePlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                                const char* defaultValue, char* buffer, DWORD size,
                                                const char* file) {
    if (!file || !buffer) return Fail(kErrorInvalidParameter);
    char windir[260];
    UINT n = GetWindowsDirectoryA(windir, sizeof windir);
    std::string dosPath = ProfilePath(file, (n > 0 && n < sizeof windir) ? windir : "", state_->cp);
    std::string text = state_->store->ReadText(dosPath);
    ThreadLastError() = kErrorSuccess;
    if (!section) return CopyList(profile::SectionNames(text, state_->cp), buffer, size);
    if (!key) return CopyList(profile::KeyNames(text, section, state_->cp), buffer, size);
    std::string value;
    if (!profile::Find(text, section, key, &value, state_->cp)) {
        value = defaultValue ? defaultValue : "";
        while (!value.empty() && value.back() == ' ') value.pop_back();
        ThreadLastError() = kErrorFileNotFound;
    }
    return CopyOut(value, buffer, size);
}

// --- Registry ---------------------------------------------------------------------
//
// The registry functions of Windows 95/98/Me are documented to report through
// their result only. Whether they also change the thread's last error is not
// documented, for success or failure, and we have not measured it on every
// release; we know of none of these five calls that sets it. We chose the
// reading of the documented contract: every registry call here leaves the
// thread's last error exactly as it was. A message that shows the last error
// after a failed registry call therefore shows what an earlier call left.

LONG OfflinePlatform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM access,
                                    HKEY* result) {
    if (!result) return kErrorInvalidParameter;
    return state_->registry.OpenKey(root, subKey ? subKey : "", access, result);
}

LONG OfflinePlatform::RegCloseKey(HKEY key) {
    return state_->registry.CloseKey(key);
}

LONG OfflinePlatform::RegLoadKeyA(HKEY root, const char* subKey, const char* file) {
    if (!subKey || !file) return kErrorInvalidParameter;
    return state_->store->LoadHive(state_->registry, root, subKey, file);
}

LONG OfflinePlatform::RegSaveKeyA(HKEY key, const char* file, void*) {
    if (!file) return kErrorInvalidParameter;
    return state_->store->SaveHive(state_->registry, key, file);
}

LONG OfflinePlatform::RegUnLoadKeyA(HKEY root, const char* subKey) {
    if (!subKey) return kErrorInvalidParameter;
    return state_->registry.UnLoadKey(root, subKey);
}
}  // namespace sabrel::platform::offline
