// SPDX-License-Identifier: MIT
// The platform interface as the core relies on it, on real folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "common/paths.h"
#include "tests/platform/conformance.h"

namespace sabrel::platform::testing {
namespace {

constexpr DWORD kAttrMask =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | kAttrDirectory;

class PlatformConformance : public ::testing::Test {
  protected:
    void SetUp() override {
        world_ = MakeConformanceWorld();
        dir_ = world_->scratch();
    }
    void TearDown() override {
        // Clear read-only marks so the world can be removed.
        ClearReadOnly(dir_);
    }

    Platform& p() { return world_->platform(); }
    std::string At(const std::string& name) const { return JoinPath(dir_, name); }

    void Write(const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(p().WriteWholeFile(path.c_str(), bytes.data(), bytes.size()))
            << path << " error " << p().GetLastError();
    }
    std::string Read(const std::string& path) {
        std::vector<std::uint8_t> data;
        if (!p().ReadWholeFile(path.c_str(), &data))
            return "<error " + std::to_string(p().GetLastError()) + ">";
        return std::string(data.begin(), data.end());
    }
    bool Exists(const std::string& path) {
        return p().GetFileAttributesA(path.c_str()) != kInvalidFileAttributes;
    }
    std::string ShortPath(const std::string& path) {
        char buf[260];
        DWORD n = p().GetShortPathNameA(path.c_str(), buf, sizeof buf);
        return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
    }
    std::vector<FindData> List(const std::string& pattern) {
        std::vector<FindData> out;
        FindData d;
        FindHandle h = p().FindFirstFileA(pattern.c_str(), &d);
        if (h == kInvalidFindHandle) return out;
        do {
            if (d.cFileName != "." && d.cFileName != "..") out.push_back(d);
        } while (p().FindNextFileA(h, &d));
        EXPECT_EQ(p().GetLastError(), kErrorNoMoreFiles);
        p().FindClose(h);
        return out;
    }
    void ClearReadOnly(const std::string& folder) {
        for (const FindData& d : List(JoinPath(folder, "*.*"))) {
            std::string path = JoinPath(folder, d.cFileName);
            if (d.dwFileAttributes & kAttrDirectory) ClearReadOnly(path);
            p().SetFileAttributesA(path.c_str(), kAttrArchive);
        }
    }
    std::string Ini() { return At("TEST.INI"); }
    void Profile(const char* section, const char* key, const char* value) {
        ASSERT_TRUE(p().WritePrivateProfileStringA(section, key, value, Ini().c_str()));
    }

    std::unique_ptr<ConformanceWorld> world_;
    std::string dir_;
};

TEST_F(PlatformConformance, PathsMatchWithoutRegardToCaseAndByAlias) {
    Write(At("Long File Name.txt"), "one");
    Write(At("Long File Name Two.txt"), "two");
    std::string s1 = ShortPath(At("Long File Name.txt"));
    std::string s2 = ShortPath(At("long file name two.TXT"));
    ASSERT_FALSE(s1.empty());
    ASSERT_FALSE(s2.empty());
    EXPECT_NE(s1, s2);
    EXPECT_EQ(s1, ShortPath(At("Long File Name.txt")));  // stable
    for (const std::string& s : {s1, s2}) {
        std::string name = ExtractFileName(s);
        EXPECT_LE(name.size(), 12u) << name;
        EXPECT_EQ(name.substr(0, 6), "LONGFI");
        EXPECT_EQ(name.substr(name.size() - 4), ".TXT");
        EXPECT_EQ(s, ShortPath(s));  // a short path is its own short form
    }
    EXPECT_EQ(Read(s1), "one");
    EXPECT_EQ(Read(s2), "two");
    EXPECT_EQ(Read(At("LONG FILE NAME.TXT")), "one");
    std::string lower = dir_;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Read(JoinPath(lower, "long file name.txt")), "one");

    // Enumeration gives the long name with its alias, found by either.
    std::vector<FindData> byAlias = List(At(ExtractFileName(s1)));
    ASSERT_EQ(byAlias.size(), 1u);
    EXPECT_EQ(byAlias[0].cFileName, "Long File Name.txt");
    EXPECT_EQ(byAlias[0].cAlternateFileName, ExtractFileName(s1));
    EXPECT_EQ(byAlias[0].nFileSize, 3u);
}

TEST_F(PlatformConformance, DoubleByteNamesWithBackslashTrailBytes) {
    // ソ (83 5C) and 表 (95 5C) end in the byte of '\'.
    std::string folder = At("ソフト");
    ASSERT_TRUE(p().CreateDirectoryA(folder.c_str())) << p().GetLastError();
    Write(JoinPath(folder, "表.DAT"), "hyou");
    Write(JoinPath(folder, "ソフト表示能力一覧.txt"), "long");
    EXPECT_EQ(Read(JoinPath(folder, "表.dat")), "hyou");
    EXPECT_EQ(p().GetFileAttributesA(folder.c_str()) & kAttrDirectory, kAttrDirectory);

    std::vector<FindData> all = List(JoinPath(folder, "*.*"));
    ASSERT_EQ(all.size(), 2u);
    std::vector<std::string> names{all[0].cFileName, all[1].cFileName};
    EXPECT_NE(std::find(names.begin(), names.end(), "表.DAT"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "ソフト表示能力一覧.txt"), names.end());
    EXPECT_EQ(List(JoinPath(folder, "*.DAT")).size(), 1u);

    std::string shortLong = ShortPath(JoinPath(folder, "ソフト表示能力一覧.txt"));
    ASSERT_FALSE(shortLong.empty());
    EXPECT_EQ(Read(shortLong), "long");
    std::string shortHyou = ShortPath(JoinPath(folder, "表.DAT"));
    EXPECT_EQ(Read(shortHyou), "hyou");
    if (world_->aliasesKeepTrail5C()) {
        EXPECT_EQ(ExtractFileName(shortHyou), "表.DAT");
        EXPECT_EQ(ReplaceExtension(shortHyou, ".CLN"), ShortPath(folder) + "\\表.CLN");
    } else {
        EXPECT_EQ(shortHyou.find('\\', ShortPath(folder).size() + 1), std::string::npos)
            << shortHyou;
        EXPECT_EQ(ShortPath(folder).find('\\', dir_.size() + 1), std::string::npos)
            << ShortPath(folder);
    }
}

// A file image holds what a whole read gives, and fails as a whole read does:
// a double-byte name whose trail byte is '\\', an empty file, a folder, a
// missing file.
TEST_F(PlatformConformance, FileImagesHoldWhatWholeReadsGive) {
    std::string folder = At("ソ表");
    ASSERT_TRUE(p().CreateDirectoryA(folder.c_str())) << p().GetLastError();
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    Write(JoinPath(folder, "能.DAT"), bytes);
    Write(JoinPath(folder, "EMPTY.DAT"), "");
    for (const char* name : {"能.DAT", "EMPTY.DAT"}) {
        std::unique_ptr<FileImage> image = p().OpenFileImage(JoinPath(folder, name).c_str());
        ASSERT_TRUE(image) << name << " error " << p().GetLastError();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->data()), image->size()),
                  Read(JoinPath(folder, name)));
    }
    for (const std::string& path : {folder, JoinPath(folder, "NONE.DAT"), At("NODIR\\X.DAT")}) {
        std::vector<std::uint8_t> data;
        EXPECT_FALSE(p().ReadWholeFile(path.c_str(), &data));
        const DWORD readError = p().GetLastError();
        EXPECT_EQ(p().OpenFileImage(path.c_str()), nullptr) << path;
        EXPECT_EQ(p().GetLastError(), readError) << path;
    }
}

TEST_F(PlatformConformance, AttributesRoundTrip) {
    std::string f = At("ATTR.TXT");
    Write(f, "x");
    for (DWORD a :
         {DWORD{kAttrReadOnly}, DWORD{kAttrHidden}, DWORD{kAttrSystem}, DWORD{kAttrArchive},
          DWORD{kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive}, DWORD{0}}) {
        ASSERT_TRUE(p().SetFileAttributesA(f.c_str(), a)) << a;
        EXPECT_EQ(p().GetFileAttributesA(f.c_str()) & kAttrMask, a) << a;
    }
    std::string d = At("SUB");
    ASSERT_TRUE(p().CreateDirectoryA(d.c_str()));
    EXPECT_EQ(p().GetFileAttributesA(d.c_str()) & kAttrMask, DWORD{kAttrDirectory});
    ASSERT_TRUE(p().SetFileAttributesA(d.c_str(), kAttrHidden));
    EXPECT_EQ(p().GetFileAttributesA(d.c_str()) & kAttrMask, DWORD{kAttrDirectory | kAttrHidden});
    std::vector<FindData> listed = List(At("SUB"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].dwFileAttributes & kAttrMask, DWORD{kAttrDirectory | kAttrHidden});
}

TEST_F(PlatformConformance, ReadOnlyFileRefusesDeletionAndOverwrite) {
    std::string f = At("HIVE.DAT");
    Write(f, "hive");
    ASSERT_TRUE(p().SetFileAttributesA(f.c_str(), kAttrReadOnly | kAttrHidden));
    EXPECT_FALSE(p().DeleteFileA(f.c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(p().WriteWholeFile(f.c_str(), "new", 3));
    EXPECT_EQ(p().GetLastError(), kErrorAccessDenied);
    Write(At("OTHER.DAT"), "other");
    EXPECT_FALSE(p().CopyFileA(At("OTHER.DAT").c_str(), f.c_str(), false));
    EXPECT_EQ(p().GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(Read(f), "hive");

    ASSERT_TRUE(p().SetFileAttributesA(f.c_str(), kAttrArchive));
    EXPECT_TRUE(p().DeleteFileA(f.c_str()));
    EXPECT_FALSE(Exists(f));
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
}

TEST_F(PlatformConformance, MissingPathsGiveFileOrPathNotFound) {
    const std::string noFile = At("NOFILE.DAT");
    const std::string noDir = At("NODIR\\FILE.DAT");
    char buf[260] = "unchanged";
    EXPECT_EQ(p().GetShortPathNameA(noFile.c_str(), buf, sizeof buf), 0u);
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(p().GetShortPathNameA(noDir.c_str(), buf, sizeof buf), 0u);
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(p().GetFileAttributesA(noFile.c_str()), kInvalidFileAttributes);
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(p().GetFileAttributesA(noDir.c_str()), kInvalidFileAttributes);
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(p().ReadWholeFile(noFile.c_str(), &data));
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
    std::uint64_t size = 0;
    EXPECT_FALSE(p().GetFileSizeByPath(noDir.c_str(), &size));
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    EXPECT_FALSE(p().DeleteFileA(noFile.c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(p().WriteWholeFile(noDir.c_str(), "x", 1));
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    FindData d;
    EXPECT_EQ(p().FindFirstFileA(At("NODIR\\*.*").c_str(), &d), kInvalidFindHandle);
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(p().FindFirstFileA(At("*.NONE").c_str(), &d), kInvalidFindHandle);
    EXPECT_EQ(p().GetLastError(), kErrorFileNotFound);
}

TEST_F(PlatformConformance, CopyMoveAndFolders) {
    Write(At("A.TXT"), "aaa");
    Write(At("B.TXT"), "b");
    EXPECT_FALSE(p().CopyFileA(At("A.TXT").c_str(), At("B.TXT").c_str(), true));
    EXPECT_EQ(p().GetLastError(), kErrorFileExists);
    EXPECT_EQ(Read(At("B.TXT")), "b");
    ASSERT_TRUE(p().CopyFileA(At("A.TXT").c_str(), At("b.txt").c_str(), false));
    EXPECT_EQ(Read(At("B.TXT")), "aaa");
    std::uint64_t size = 0;
    ASSERT_TRUE(p().GetFileSizeByPath(At("B.TXT").c_str(), &size));
    EXPECT_EQ(size, 3u);

    EXPECT_FALSE(p().MoveFileA(At("A.TXT").c_str(), At("B.TXT").c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorAlreadyExists);
    ASSERT_TRUE(p().MoveFileA(At("A.TXT").c_str(), At("C.TXT").c_str()));
    EXPECT_FALSE(Exists(At("A.TXT")));
    EXPECT_EQ(Read(At("C.TXT")), "aaa");

    EXPECT_FALSE(p().CreateDirectoryA(At("X\\Y").c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorPathNotFound);
    ASSERT_TRUE(p().CreateDirectoryA(At("X").c_str()));
    EXPECT_FALSE(p().CreateDirectoryA(At("x").c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorAlreadyExists);
    ASSERT_TRUE(p().CreateDirectoryA(At("X\\Y").c_str()));
    EXPECT_FALSE(p().RemoveDirectoryA(At("X").c_str()));
    EXPECT_EQ(p().GetLastError(), kErrorDirNotEmpty);
    EXPECT_TRUE(p().RemoveDirectoryA(At("X\\Y").c_str()));
    EXPECT_TRUE(p().RemoveDirectoryA(At("X").c_str()));
}

TEST_F(PlatformConformance, EnumerationWithAttributesAndPatterns) {
    Write(At("ONE.DAT"), "1");
    Write(At("two.dat"), "22");
    Write(At("THREE.TXT"), "333");
    ASSERT_TRUE(p().CreateDirectoryA(At("SUB").c_str()));
    ASSERT_TRUE(p().SetFileAttributesA(At("ONE.DAT").c_str(), kAttrHidden | kAttrSystem));

    FindData d;
    FindHandle h = p().FindFirstFileA(At("*.*").c_str(), &d);
    ASSERT_NE(h, kInvalidFindHandle);
    std::vector<std::string> names;
    do {
        names.push_back(d.cFileName);
        if (d.cFileName == "ONE.DAT") {
            EXPECT_EQ(d.dwFileAttributes & kAttrMask, DWORD{kAttrHidden | kAttrSystem});
            EXPECT_EQ(d.nFileSize, 1u);
        }
        if (d.cFileName == "two.dat") {
            EXPECT_EQ(d.nFileSize, 2u);
        }
        if (d.cFileName == "SUB") {
            EXPECT_TRUE(d.dwFileAttributes & kAttrDirectory);
        }
    } while (p().FindNextFileA(h, &d));
    EXPECT_EQ(p().GetLastError(), kErrorNoMoreFiles);
    EXPECT_FALSE(p().FindNextFileA(h, &d));
    EXPECT_TRUE(p().FindClose(h));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".", "..", "ONE.DAT", "SUB", "THREE.TXT", "two.dat"}));

    std::vector<FindData> dats = List(At("*.DAT"));
    EXPECT_EQ(dats.size(), 2u);
    EXPECT_EQ(List(At("T*.*")).size(), 2u);
    EXPECT_EQ(List(At("?NE.DAT")).size(), 1u);
}

TEST_F(PlatformConformance, ProfileEditsKeepEveryOtherByte) {
    const std::string original =
        "; written by hand\r\n"
        "[Other]\r\n"
        "Key=keep  \r\n"
        "\r\n"
        "[rename]\n"  // LF only, lower case
        "  C:\\OLD.DAT = C:\\OLD.CLN\r\n"
        "NUL=C:\\GONE.TMP\r\n"
        "\r\n"
        "[Tail]\r\n"
        "last=line";  // no line end
    Write(Ini(), original);

    Profile("RENAME", "c:\\old.dat", "C:\\NEW.CLN");
    std::string expect = original;
    expect.replace(expect.find("  C:\\OLD.DAT = C:\\OLD.CLN"), 25, "C:\\OLD.DAT=C:\\NEW.CLN");
    EXPECT_EQ(Read(Ini()), expect);

    Profile("Rename", "C:\\表.DAT", "C:\\表.CLN");
    expect.insert(expect.find("\r\n[Tail]"), "C:\\表.DAT=C:\\表.CLN\r\n");
    EXPECT_EQ(Read(Ini()), expect);

    Profile("Tail", "more", "x");
    expect += "\r\nmore=x\r\n";
    EXPECT_EQ(Read(Ini()), expect);

    Profile("New", "k", "v");
    expect += "[New]\r\nk=v\r\n";
    EXPECT_EQ(Read(Ini()), expect);

    Profile("rename", "NUL", nullptr);
    expect.erase(expect.find("NUL=C:\\GONE.TMP\r\n"), 17);
    EXPECT_EQ(Read(Ini()), expect);

    Profile("Rename", "C:\\ABSENT.DAT", nullptr);  // nothing to delete
    Profile("Absent", "key", nullptr);
    EXPECT_EQ(Read(Ini()), expect);

    char buf[64];
    EXPECT_EQ(p().GetPrivateProfileStringA("OTHER", "KEY", "def", buf, sizeof buf, Ini().c_str()),
              4u);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(
        p().GetPrivateProfileStringA("Rename", "c:\\表.dat", "", buf, sizeof buf, Ini().c_str()),
        9u);
    EXPECT_STREQ(buf, "C:\\表.CLN");
    EXPECT_EQ(p().GetPrivateProfileStringA("Rename", "none", "def", buf, sizeof buf, Ini().c_str()),
              3u);
    EXPECT_STREQ(buf, "def");

    Profile("Other", nullptr, nullptr);
    expect.erase(expect.find("[Other]"), std::string("[Other]\r\nKey=keep  \r\n\r\n").size());
    EXPECT_EQ(Read(Ini()), expect);
}

TEST_F(PlatformConformance, ProfileCreatesFileAndSection) {
    Profile("Rename", "C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\SYSTEM.CLN");
    Profile("Rename", "C:\\WINDOWS\\TTFCACHE.BEF", "C:\\WINDOWS\\TTFCACHE");
    EXPECT_EQ(Read(Ini()),
              "[Rename]\r\nC:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\n"
              "C:\\WINDOWS\\TTFCACHE.BEF=C:\\WINDOWS\\TTFCACHE\r\n");
    // A name without a folder is a file of the Windows directory.
    char windir[260];
    ASSERT_GT(p().GetWindowsDirectoryA(windir, sizeof windir), 0u);
    ASSERT_TRUE(p().WritePrivateProfileStringA("S", "k", "v", "SABRELT.INI"));
    EXPECT_EQ(Read(JoinPath(windir, "SABRELT.INI")), "[S]\r\nk=v\r\n");
    EXPECT_TRUE(p().DeleteFileA(JoinPath(windir, "SABRELT.INI").c_str()));
}

TEST_F(PlatformConformance, BufferSemanticsOfTheQueries) {
    char buf[260];
    UINT n = p().GetWindowsDirectoryA(buf, sizeof buf);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, sizeof buf);
    EXPECT_EQ(std::string(buf).size(), n);
    EXPECT_NE(buf[n - 1], '\\');
    char small[260];
    EXPECT_EQ(p().GetWindowsDirectoryA(small, n), n + 1);  // too small: the size needed
    EXPECT_EQ(p().GetWindowsDirectoryA(small, n + 1), n);

    DWORD size = sizeof buf;
    ASSERT_TRUE(p().GetUserNameA(buf, &size));
    DWORD length = size;  // with the NUL
    EXPECT_EQ(std::string(buf).size() + 1, length);
    size = length - 1;
    EXPECT_FALSE(p().GetUserNameA(small, &size));
    EXPECT_EQ(p().GetLastError(), kErrorInsufficientBuffer);
    EXPECT_EQ(size, length);

    Write(At("Long File Name.txt"), "x");
    DWORD full = p().GetShortPathNameA(At("Long File Name.txt").c_str(), buf, sizeof buf);
    ASSERT_GT(full, 0u);
    EXPECT_EQ(p().GetShortPathNameA(At("Long File Name.txt").c_str(), small, full), full + 1);
}

TEST_F(PlatformConformance, LastErrorIsPerThreadAndThreadsRun) {
    p().SetLastError(kErrorAccessDenied);
    struct Shared {
        Platform* platform;
        std::atomic<int> seen{-1};
    } shared{&p()};
    DWORD id = 0;
    ASSERT_TRUE(p().CreateThread(
        [](void* param) -> DWORD {
            auto* s = static_cast<Shared*>(param);
            DWORD before = s->platform->GetLastError();
            s->platform->SetLastError(kErrorDiskFull);
            s->seen = static_cast<int>(before);
            return 0;
        },
        &shared, &id));
    for (int i = 0; i < 500 && shared.seen < 0; ++i) p().Sleep(10);
    EXPECT_EQ(shared.seen, 0);
    EXPECT_EQ(p().GetLastError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace sabrel::platform::testing
