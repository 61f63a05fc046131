// SPDX-License-Identifier: MIT
// Helpers of the backup tests: temporary machine folders and command lines.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sabrel::backup::test {

// A fresh, empty host folder that stands for one machine's drive C:.
inline std::filesystem::path MakeMachineFolder(const std::string& tag) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("sabrel-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(&pattern[0])) return {};
    return pattern;
}

inline void WriteHostFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Splits an archiver command line at spaces; double quotes group a part that
// holds spaces and are dropped.
inline std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

}  // namespace sabrel::backup::test
