// SPDX-License-Identifier: MIT
#include "programs/sabrel-hive/host_hive.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/offline/host_files.h"

namespace sabrel::tool {

namespace {

// The format's offsets are signed 32-bit: a larger file is no hive.
constexpr std::uint64_t kMaxHive = 0x7FFFFFFF;

}  // namespace

ReadResult ReadHostFile(const char* path, std::vector<std::uint8_t>* out, std::string* error) {
    struct stat st;
    if (stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return ReadResult::kNoFile;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxHive) return ReadResult::kTooLarge;
    if (!platform::offline::ReadHostFile(path, out)) {
        *error = std::strerror(errno);
        return ReadResult::kError;
    }
    // A file that grew past the limit while it was read is no hive either.
    if (out->size() > kMaxHive) return ReadResult::kTooLarge;
    return ReadResult::kOk;
}

std::string Verdict::Text() const {
    char buf[96];
    std::snprintf(buf, sizeof buf, "status %d, good %d, bad %d, ghost %d", status, counts.goodKeys,
                  counts.badKeys, counts.ghostKeys);
    return buf;
}

bool CheckImage(const std::vector<std::uint8_t>& image, unsigned codePage, Verdict* verdict) {
    hive::HiveChecker checker(hive::ByteClasses::ForCodePage(codePage));
    try {
        checker.CheckImage(image.data(), image.size());
    } catch (const OutOfMemoryError&) {
        return false;
    }
    verdict->status = checker.status;
    verdict->counts = checker.result;
    return true;
}

}  // namespace sabrel::tool
