// SPDX-License-Identifier: MIT
// The Win32 platform's own behaviour beyond the shared conformance suite,
// under Wine set up as a Japanese Windows 98: the system queries, whole-file
// writing that never loses the old file, the single-instance search and the
// worker thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "tests/platform/conformance.h"

namespace sabrel::platform::testing {
namespace {

class Win32PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world_ = MakeConformanceWorld();
        dir_ = world_->scratch();
    }
    std::string At(const std::string& name) const { return dir_ + "\\" + name; }
    std::string Read(const std::string& path) {
        std::vector<std::uint8_t> data;
        if (!p_.ReadWholeFile(path.c_str(), &data)) {
            return "<error " + std::to_string(p_.GetLastError()) + ">";
        }
        return std::string(data.begin(), data.end());
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        FindData d;
        FindHandle h = p_.FindFirstFileA(At("*.*").c_str(), &d);
        if (h == kInvalidFindHandle) return names;
        do {
            if (d.cFileName != "." && d.cFileName != "..") names.push_back(d.cFileName);
        } while (p_.FindNextFileA(h, &d));
        p_.FindClose(h);
        return names;
    }

    win32::Win32Platform p_;
    std::unique_ptr<ConformanceWorld> world_;
    std::string dir_;
};

TEST_F(Win32PlatformTest, SystemIsAJapaneseWindows98) {
    OsVersionInfo v;
    ASSERT_TRUE(p_.GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, kVerPlatformWin32Windows);
    EXPECT_EQ(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    EXPECT_EQ(p_.GetACP(), 932u);
    EXPECT_NE(p_.GetDbcsEnabled(), 0);
    CpInfo cp;
    ASSERT_TRUE(p_.GetCPInfo(932, &cp));
    EXPECT_EQ(cp.MaxCharSize, 2u);
    EXPECT_EQ(cp.LeadByte[0], 0x81);
    EXPECT_EQ(cp.LeadByte[1], 0x9F);
    EXPECT_EQ(cp.LeadByte[2], 0xE0);
    EXPECT_EQ(cp.LeadByte[3], 0xFC);
    char windir[128] = {};
    UINT n = p_.GetWindowsDirectoryA(windir, 125);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(windir).size(), n);
    EXPECT_NE(windir[n - 1], '\\');
}

TEST_F(Win32PlatformTest, WholeFileWritesReplaceAndLeaveNothingBehind) {
    const std::string f = At("SBRCOVER.BAT");
    ASSERT_TRUE(p_.WriteWholeFile(f.c_str(), "first", 5));
    EXPECT_EQ(Read(f), "first");
    // A replaced file keeps its hidden mark, and no temporary file remains.
    ASSERT_TRUE(p_.SetFileAttributesA(f.c_str(), kAttrHidden));
    const std::string big(200000, 'x');
    ASSERT_TRUE(p_.WriteWholeFile(f.c_str(), big.data(), big.size()));
    EXPECT_EQ(Read(f), big);
    EXPECT_TRUE(p_.GetFileAttributesA(f.c_str()) & kAttrHidden);
    EXPECT_EQ(Names(), std::vector<std::string>{"SBRCOVER.BAT"});
    std::uint64_t size = 0;
    ASSERT_TRUE(p_.GetFileSizeByPath(f.c_str(), &size));
    EXPECT_EQ(size, big.size());
    ASSERT_TRUE(p_.WriteWholeFile(f.c_str(), nullptr, 0));
    EXPECT_EQ(Read(f), "");
}

TEST_F(Win32PlatformTest, RefusedWholeFileWritesKeepTheOldFile) {
    const std::string f = At("KEEP.TXT");
    ASSERT_TRUE(p_.WriteWholeFile(f.c_str(), "old", 3));
    ASSERT_TRUE(p_.SetFileAttributesA(f.c_str(), kAttrReadOnly));
    EXPECT_FALSE(p_.WriteWholeFile(f.c_str(), "new", 3));
    EXPECT_EQ(p_.GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(Read(f), "old");
    ASSERT_TRUE(p_.CreateDirectoryA(At("SUB").c_str()));
    EXPECT_FALSE(p_.WriteWholeFile(At("SUB").c_str(), "new", 3));
    EXPECT_EQ(p_.GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(p_.WriteWholeFile(At("NOWHERE\\X.TXT").c_str(), "new", 3));
    EXPECT_NE(p_.GetLastError(), kErrorSuccess);
    std::vector<std::string> names = Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"KEEP.TXT", "SUB"}));
    p_.SetFileAttributesA(f.c_str(), kAttrArchive);
}

TEST_F(Win32PlatformTest, ReadingMissingOrEmptyFiles) {
    std::vector<std::uint8_t> data{1, 2, 3};
    EXPECT_FALSE(p_.ReadWholeFile(At("NONE.DAT").c_str(), &data));
    EXPECT_EQ(p_.GetLastError(), kErrorFileNotFound);
    EXPECT_TRUE(data.empty());
    std::uint64_t size = 7;
    EXPECT_FALSE(p_.GetFileSizeByPath(At("NONE.DAT").c_str(), &size));
    EXPECT_EQ(p_.GetLastError(), kErrorFileNotFound);
    ASSERT_TRUE(p_.WriteWholeFile(At("EMPTY.DAT").c_str(), "", 0));
    EXPECT_TRUE(p_.ReadWholeFile(At("EMPTY.DAT").c_str(), &data));
    EXPECT_TRUE(data.empty());
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(Win32PlatformTest, RunningInstanceIsFoundByClassAndTitle) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SabrelProbeApp";
    RegisterClassA(&wc);
    EXPECT_FALSE(p_.FindRunningInstance("SabrelProbeApp", "Quillmere"));
    // Hidden, as the application window is.
    HWND w = CreateWindowExA(0, "SabrelProbeApp", "Sabrel Boot...", WS_POPUP, 0, 0, 0, 0, nullptr,
                             nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(p_.FindRunningInstance("SabrelProbeApp", "Quillmere"));
    SetWindowTextA(w, "Quillmere");
    EXPECT_TRUE(p_.FindRunningInstance("SabrelProbeApp", "Quillmere"));
    EXPECT_FALSE(p_.FindRunningInstance("OtherClass", "Quillmere"));
    DestroyWindow(w);
}

TEST_F(Win32PlatformTest, WorkerThreadRunsWithItsParameter) {
    static std::atomic<int> seen{0};
    static std::atomic<DWORD> ranOn{0};
    int value = 42;
    DWORD id = 0;
    ASSERT_TRUE(p_.CreateThread(
        [](void* param) -> DWORD {
            ranOn = GetCurrentThreadId();
            seen = *static_cast<int*>(param);
            return 0;
        },
        &value, &id));
    for (int i = 0; i < 500 && seen == 0; ++i) p_.Sleep(10);
    EXPECT_EQ(seen, 42);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(ranOn, id);
    EXPECT_NE(id, GetCurrentThreadId());
}

TEST_F(Win32PlatformTest, LibrariesLoadByNameAndFailWithTheirCode) {
    HMODULE k = p_.LoadLibraryA("KERNEL32.DLL");
    ASSERT_NE(k, nullptr);
    EXPECT_NE(p_.GetProcAddress(k, "GetACP"), nullptr);
    EXPECT_EQ(p_.GetProcAddress(k, "NoSuchEntryPoint"), nullptr);
    EXPECT_EQ(p_.GetLastError(), kErrorProcNotFound);
    EXPECT_TRUE(p_.FreeLibrary(k));
    // Windows says 126 here, Wine 1157; either way a code to show.
    EXPECT_EQ(p_.LoadLibraryA("NOSUCH32.DLL"), nullptr);
    EXPECT_NE(p_.GetLastError(), kErrorSuccess);
}

// The registry calls answer with their result; the thread's last error is
// the system's to set, not a copy of that result.
TEST_F(Win32PlatformTest, RegistryResultsAreNotCopiedIntoTheLastError) {
    HKEY key = 0;
    p_.SetLastError(0x5AB);
    EXPECT_EQ(p_.RegOpenKeyExA(kHkeyUsers, "SABREL_NO_SUCH_KEY", 0, kKeyRead, &key),
              LONG{kErrorFileNotFound});
    EXPECT_EQ(p_.GetLastError(), 0x5ABu);
    ASSERT_EQ(p_.RegOpenKeyExA(kHkeyUsers, ".DEFAULT", 0, kKeyRead, &key), 0);
    EXPECT_EQ(p_.GetLastError(), 0x5ABu);
    EXPECT_EQ(p_.RegCloseKey(key), 0);
    EXPECT_EQ(p_.GetLastError(), 0x5ABu);
}

}  // namespace
}  // namespace sabrel::platform::testing
