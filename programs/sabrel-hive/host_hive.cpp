#include "programs/sabrel-hive/host_hive.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sabrel::tool {

namespace {

// The format's offsets are signed 32-bit: a larger file is no hive.
constexpr std::uint64_t kMaxHive = 0x7FFFFFFF;

}  // namespace

ReadResult ReadHostFile(const char* path, std::vector<std::uint8_t>* out, std::string* error) {
    struct stat st;
    if (stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return ReadResult::kNoFile;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxHive) return ReadResult::kTooLarge;
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        *error = std::strerror(errno);
        return ReadResult::kError;
    }
    out->clear();
    if (st.st_size > 0) out->reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[1 << 16];
    std::size_t n;
    bool tooLarge = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (out->size() + n > kMaxHive) {
            tooLarge = true;
            break;
        }
        out->insert(out->end(), buf, buf + n);
    }
    const bool failed = std::ferror(f) != 0;
    const int savedErrno = errno;
    std::fclose(f);
    if (tooLarge) return ReadResult::kTooLarge;
    if (failed) {
        *error = std::strerror(savedErrno);
        return ReadResult::kError;
    }
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
