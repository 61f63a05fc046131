// SPDX-License-Identifier: MIT
// A platform that only knows files held in memory, for the tests of Check(path):
// existence, attributes, size, whole-file reads and the code-page queries.
// Everything else fails with "not implemented" (120).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/failing_platform.h"

namespace sabrel::hive::test {

class FilePlatform : public sabrel::test::FailingPlatform {
  public:
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::set<std::string> directories;
    DWORD readError = 0;             // ReadWholeFile fails with it when set
    DWORD sizeError = 0;             // GetFileSizeByPath fails with it when set
    std::uint64_t reportedSize = 0;  // GetFileSizeByPath reports it when set
    int readCalls = 0;
    int dbcs = 1;
    bool cpInfoWorks = true;

    int GetDbcsEnabled() override { return dbcs; }
    UINT GetACP() override { return 932; }
    BOOL GetCPInfo(UINT codePage, platform::CpInfo* info) override {
        if (!cpInfoWorks || codePage != 932) return Fail();
        *info = platform::CpInfo{};
        info->MaxCharSize = 2;
        const std::uint8_t ranges[] = {0x81, 0x9F, 0xE0, 0xFC};
        for (int i = 0; i < 4; ++i) info->LeadByte[i] = ranges[i];
        return 1;
    }

    DWORD GetFileAttributesA(const char* path) override {
        if (directories.count(path)) return platform::kAttrDirectory;
        if (files.count(path)) return platform::kAttrArchive;
        Fail(platform::kErrorFileNotFound);
        return platform::kInvalidFileAttributes;
    }
    BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override {
        if (sizeError) return Fail(sizeError);
        auto it = files.find(path);
        if (it == files.end()) return Fail(platform::kErrorFileNotFound);
        *size = reportedSize ? reportedSize : it->second.size();
        return 1;
    }
    BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) override {
        ++readCalls;
        if (readError) return Fail(readError);
        auto it = files.find(path);
        if (it == files.end()) return Fail(platform::kErrorFileNotFound);
        *out = it->second;
        return 1;
    }
};

}  // namespace sabrel::hive::test
