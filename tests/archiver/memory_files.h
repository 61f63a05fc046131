// SPDX-License-Identifier: MIT
// An in-memory FileAccess whose operations can be made to fail.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "archiver/file_access.h"

namespace sabrel::archiver::testing {

class MemoryFiles : public FileAccess {
  public:
    struct File {
        std::vector<std::uint8_t> data;
        std::uint32_t attributes = 0x20;
        std::uint16_t time = 0x6000;  // 12:00:00
        std::uint16_t date = 0x2C21;  // 2002-01-01
    };
    std::map<std::string, File> files;
    std::set<std::string> unwritable;      // paths whose writes and moves-to fail
    std::set<std::string> failNextMoveTo;  // the next move to these paths fails, once
    std::set<std::string> unreadable;
    std::set<std::string> lossyWrites;  // writes report success but keep only half

    bool ReadFile(const std::string& path, std::vector<std::uint8_t>* out) override {
        auto it = files.find(path);
        if (it == files.end() || unreadable.count(path)) return false;
        *out = it->second.data;
        return true;
    }
    bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) override {
        if (unwritable.count(path)) return false;
        auto it = files.find(path);
        if (it != files.end() && (it->second.attributes & 1)) return false;
        files[path].data.assign(data, data + (lossyWrites.count(path) ? size / 2 : size));
        return true;
    }
    std::uint32_t GetAttributes(const std::string& path) override {
        auto it = files.find(path);
        return it == files.end() ? kNoFile : it->second.attributes;
    }
    bool SetAttributes(const std::string& path, std::uint32_t a) override {
        auto it = files.find(path);
        if (it == files.end()) return false;
        it->second.attributes = a;
        return true;
    }
    bool Delete(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end() || (it->second.attributes & 1)) return false;
        files.erase(it);
        return true;
    }
    bool Move(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (failNextMoveTo.erase(to)) return false;
        if (it == files.end() || files.count(to) || unwritable.count(to)) return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    }
    bool GetDosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) override {
        auto it = files.find(path);
        if (it == files.end()) return false;
        *time = it->second.time;
        *date = it->second.date;
        return true;
    }
};

}  // namespace sabrel::archiver::testing
