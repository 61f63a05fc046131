// SPDX-License-Identifier: MIT
// The conformance suite's world for the Win32 platform, run under Wine: a
// fresh folder under the system's temporary folder, removed afterwards.
#include <windows.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "tests/platform/conformance.h"

namespace sabrel::platform::testing {

namespace {

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE h = ::FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(h, &found));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(folder.c_str());
}

class Win32World : public ConformanceWorld {
  public:
    Win32World() {
        char temp[MAX_PATH + 1] = {};
        char name[MAX_PATH + 1] = {};
        ::GetTempPathA(sizeof temp, temp);
        // A unique name, taken over as a folder.
        ::GetTempFileNameA(temp, "SBR", 0, name);
        ::DeleteFileA(name);
        ::CreateDirectoryA(name, nullptr);
        scratch_ = name;
    }
    ~Win32World() override { RemoveTree(scratch_); }
    Platform& platform() override { return platform_; }
    std::string scratch() override { return scratch_; }

  private:
    win32::Win32Platform platform_;
    std::string scratch_;
};

}  // namespace

std::unique_ptr<ConformanceWorld> MakeConformanceWorld() {
    return std::make_unique<Win32World>();
}

}  // namespace sabrel::platform::testing
