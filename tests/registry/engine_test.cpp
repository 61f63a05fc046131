// SPDX-License-Identifier: MIT
// The offline registry engine: HKEY_USERS semantics that the rebuild relies
// on, saving that leaves a whole file or nothing, and the installation facts
// read from SYSTEM.DAT.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "creg/creg_reader.h"
#include "creg/creg_writer.h"
#include "creg/install_keys.h"
#include "creg/synth.h"
#include "platform/offline/registry/registry_engine.h"
#include "tests/registry/compact_form.h"

namespace sabrel::platform::offline {
namespace {

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "sabrel_engine_XXXXXX";
        ASSERT_NE(::mkdtemp(dir_.data()), nullptr);
        hive::SynthOptions o;
        o.keys = 300;
        o.fragmented = true;
        o.sjis = 5;
        o.sjisBad = 5;
        source_ = hive::Synthesize(o);
        hivePath_ = Write("SYSTEM.DAT", source_);
    }
    void TearDown() override {
        for (const std::string& f : Files()) ::unlink((dir_ + "/" + f).c_str());
        ::rmdir(dir_.c_str());
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::vector<std::uint8_t> Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        DIR* d = ::opendir(dir_.c_str());
        while (dirent* e = d ? ::readdir(d) : nullptr) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        if (d) ::closedir(d);
        return names;
    }
    LONG Open(const std::string& name, HKEY* key) {
        LONG r = engine_.OpenKey(kHkeyUsers, name, kKeyAllAccess, key);
        return r == kErrorAccessDenied ? engine_.OpenKey(kHkeyUsers, name, kKeyRead, key) : r;
    }

    RegistryEngine engine_;
    std::string dir_, hivePath_;
    std::vector<std::uint8_t> source_;
};

TEST_F(Engine, RebuildCycleWritesTheCompactFile) {
    HKEY key = 0;
    EXPECT_EQ(Open("MIRONET_SABREL", &key), kErrorFileNotFound);
    ASSERT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
    ASSERT_EQ(Open("mironet_sabrel", &key), 0);  // names ignore ASCII case
    std::string out = dir_ + "/SYSTEM.CLN";
    ASSERT_EQ(engine_.SaveKey(key, out), 0);
    EXPECT_EQ(engine_.CloseKey(key), 0);
    EXPECT_EQ(engine_.UnLoadKey(kHkeyUsers, "MIRONET_SABREL"), 0);
    EXPECT_EQ(Open("MIRONET_SABREL", &key), kErrorFileNotFound);

    std::vector<std::uint8_t> saved = Read(out);
    EXPECT_EQ(test::CheckCompactForm(saved), "");
    hive::CregTree a, b;
    ASSERT_EQ(hive::LoadHive(source_, &a), 0u);
    ASSERT_EQ(hive::LoadHive(saved, &b), 0u);
    EXPECT_EQ(hive::CompactBytes(a), saved);
    EXPECT_EQ(Files().size(), 2u) << "a temporary file was left behind";
}

TEST_F(Engine, LoadNeedsAFreeNameAndHoldsTheFile) {
    ASSERT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
    std::string copy = Write("USER.DAT", source_);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "Mironet_Sabrel", copy), kErrorAlreadyExists);
    // The file is held: loading it under a second name is refused.
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "OTHER", hivePath_), kErrorSharingViolation);
    EXPECT_EQ(engine_.UnLoadKey(kHkeyUsers, "MIRONET_SABREL"), 0);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "OTHER", hivePath_), 0);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "A\\B", copy), kErrorInvalidParameter);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "NONE", dir_ + "/missing.dat"), kErrorFileNotFound);
}

TEST_F(Engine, DamagedHiveIsRefusedAndNameStaysFree) {
    std::vector<std::uint8_t> cut(source_.begin(), source_.end() - 16);
    std::string bad = Write("BAD.DAT", cut);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", bad), kErrorRegistryCorrupt);
    std::string junk = Write("JUNK.DAT", std::vector<std::uint8_t>(100, 'x'));
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", junk), kErrorBadregistryFile);
    HKEY key = 0;
    EXPECT_EQ(Open("MIRONET_SABREL", &key), kErrorFileNotFound);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
}

TEST_F(Engine, SaveRefusesAnExistingFileAndLeavesNothingOnFailure) {
    ASSERT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
    HKEY key = 0;
    ASSERT_EQ(Open("MIRONET_SABREL", &key), 0);
    std::string stale = Write("SYSTEM.CLN", {'o', 'l', 'd'});
    EXPECT_EQ(engine_.SaveKey(key, stale), kErrorAlreadyExists);
    EXPECT_EQ(Read(stale), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(engine_.SaveKey(key, dir_ + "/no/such/folder/SYSTEM.CLN"), kErrorPathNotFound);
    EXPECT_EQ(Files().size(), 2u);
    EXPECT_EQ(engine_.SaveKey(0x77777, dir_ + "/X.CLN"), kErrorInvalidHandle);
}

// Message P: a key of that name that is not a loaded hive cannot be unloaded.
TEST_F(Engine, PlainKeyOpensButDoesNotUnload) {
    ASSERT_EQ(engine_.CreatePlainKey("MIRONET_SABREL"), 0);
    HKEY key = 0;
    ASSERT_EQ(Open("MIRONET_SABREL", &key), 0);
    EXPECT_EQ(engine_.CloseKey(key), 0);
    EXPECT_NE(engine_.UnLoadKey(kHkeyUsers, "MIRONET_SABREL"), 0);
    EXPECT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), kErrorAlreadyExists);
    EXPECT_EQ(engine_.UnLoadKey(kHkeyUsers, "ABSENT"), kErrorFileNotFound);
}

TEST_F(Engine, HandlesOfAnUnloadedHiveAreDead) {
    ASSERT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
    HKEY key = 0;
    ASSERT_EQ(Open("MIRONET_SABREL", &key), 0);
    ASSERT_EQ(engine_.UnLoadKey(kHkeyUsers, "MIRONET_SABREL"), 0);
    ASSERT_EQ(engine_.LoadKey(kHkeyUsers, "MIRONET_SABREL", hivePath_), 0);
    EXPECT_EQ(engine_.SaveKey(key, dir_ + "/SYSTEM.CLN"), kErrorKeyDeleted);
    EXPECT_EQ(engine_.CloseKey(key), 0);
    EXPECT_EQ(engine_.CloseKey(key), kErrorInvalidHandle);
}

TEST_F(Engine, ConcurrentLoadSaveUnload) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::string name = "K" + std::to_string(t);
            std::string file = Write(name + ".DAT", source_);
            for (int i = 0; i < 5; ++i) {
                HKEY key = 0;
                std::string out = dir_ + "/" + name + "_" + std::to_string(i) + ".CLN";
                if (engine_.LoadKey(kHkeyUsers, name, file) || Open(name, &key) ||
                    engine_.SaveKey(key, out) || engine_.CloseKey(key) ||
                    engine_.UnLoadKey(kHkeyUsers, name)) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Files().size(), 1u + 4u + 20u);
}

TEST_F(Engine, InstallationInfoFromSystemDat) {
    hive::InstallationValues v;
    v.versionNumber = "4.90.3000";
    v.user = "\x93\x63\x92\x86";  // a Shift-JIS name
    v.codePage = "932";
    hive::SynthOptions o;
    o.keys = 50;
    o.fragmented = true;
    std::string path = Write("INSTALL.DAT", hive::Synthesize(o, nullptr, &v));
    InstallationInfo info;
    ASSERT_TRUE(ReadInstallationInfo(path, &info));
    EXPECT_TRUE(info.hasVersion);
    EXPECT_EQ(info.major, 4u);
    EXPECT_EQ(info.minor, 90u);
    EXPECT_EQ(info.build, 3000u);
    EXPECT_TRUE(info.hasUser);
    EXPECT_EQ(info.user, v.user);
    EXPECT_TRUE(info.hasCodePage);
    EXPECT_EQ(info.codePage, 932u);

    // Without the logon value the running session's user is taken; values
    // that are missing or malformed are reported as absent.
    hive::CregTree t;
    std::uint32_t control = t.FindPath(0, "");
    for (const char* name : {"System", "CurrentControlSet", "Control"}) {
        control = t.AddKey(
            control, name,
            hive::AsciiNameHash(reinterpret_cast<const std::uint8_t*>(name), std::strlen(name)));
    }
    t.AddValue(control, 1, 0, hive::kInstallCurrentUserValue, std::string("Taro\0", 5));
    std::uint32_t nls = t.AddKey(control, "Nls", 0);
    std::uint32_t cp = t.AddKey(nls, "CodePage", 0);
    t.AddValue(cp, 1, 0, "ACP", "12x");
    path = Write("OTHER.DAT", hive::CompactBytes(t));
    ASSERT_TRUE(ReadInstallationInfo(path, &info));
    EXPECT_FALSE(info.hasVersion);
    EXPECT_TRUE(info.hasUser);
    EXPECT_EQ(info.user, "Taro");
    EXPECT_FALSE(info.hasCodePage);

    EXPECT_FALSE(ReadInstallationInfo(dir_ + "/missing.dat", &info));
    EXPECT_FALSE(ReadInstallationInfo(Write("J.DAT", {'C', 'R', 'E', 'G'}), &info));
}

}  // namespace
}  // namespace sabrel::platform::offline
