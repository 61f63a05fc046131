// SPDX-License-Identifier: MIT
#include "rebuild/wininit.h"

#include <cstring>

#include "common/errors.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/texts.h"
#include "platform/platform.h"

namespace sabrel::rebuild {

namespace {

void WriteEntry(const std::string& winDir, const std::string& key, const std::string& value) {
    std::string file = WininitPath(winDir);
    if (!platform::Get().WritePrivateProfileStringA(texts::kRenameSection, key.c_str(),
                                                    value.c_str(), file.c_str())) {
        throw WininitWriteError(file);
    }
}

bool DeleteEntry(const std::string& winDir, const std::string& key) {
    std::string file = WininitPath(winDir);
    return platform::Get().WritePrivateProfileStringA(texts::kRenameSection, key.c_str(), nullptr,
                                                      file.c_str()) != 0;
}

// Key and value of a cache file's set-aside entry; false when the file has no
// short path (typically because it does not exist).
bool CacheEntry(const std::string& winDir, const char* cacheName, std::string* key,
                std::string* value) {
    if (!ShortPathOf(JoinPath(winDir, cacheName), value)) return false;
    *key = ReplaceExtension(*value, texts::kExtCopyBackup);
    return true;
}

}  // namespace

std::string WininitPath(const std::string& winDir) {
    return JoinPath(winDir, texts::kWininitName);
}

bool ShortPathOf(const std::string& longPath, std::string* shortPath) {
    char buffer[kShortPathBufferSize] = {};
    platform::DWORD n =
        platform::Get().GetShortPathNameA(longPath.c_str(), buffer, kShortPathLimit);
    // A result of the limit or more is the size the platform would need: the
    // buffer holds nothing usable then.
    if (n == 0 || n >= kShortPathLimit) {
        if (n != 0) platform::Get().SetLastError(platform::kErrorFilenameExcedRange);
        return false;
    }
    buffer[kShortPathBufferSize - 1] = '\0';
    shortPath->assign(buffer, std::strlen(buffer));
    return true;
}

void ScheduleHiveReplacement(const std::string& winDir, const std::string& shortHive,
                             const std::string& shortRebuilt) {
    WriteEntry(winDir, shortHive, shortRebuilt);
}

void ScheduleCacheSetAside(const std::string& winDir, const char* cacheName) {
    std::string key, value;
    if (CacheEntry(winDir, cacheName, &key, &value)) WriteEntry(winDir, key, value);
}

bool UnscheduleHiveReplacement(const std::string& winDir, const std::string& shortHive) {
    return DeleteEntry(winDir, shortHive);
}

bool CancelHiveReplacement(const std::string& winDir, const std::string& entry) {
    std::string key;
    return !ShortPathOf(JoinPath(winDir, entry), &key) || DeleteEntry(winDir, key);
}

void CancelCacheSetAside(const std::string& winDir, const char* cacheName) {
    std::string key, value;
    if (CacheEntry(winDir, cacheName, &key, &value)) DeleteEntry(winDir, key);
}

}  // namespace sabrel::rebuild
