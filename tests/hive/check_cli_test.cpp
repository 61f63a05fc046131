// SPDX-License-Identifier: MIT
// sabrel-hive check, run as a program on files in a temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/hive/hive_image.h"

namespace sabrel::hive {
namespace {

struct RunResult {
    int exitCode;
    std::string out;
};

// Arguments are passed through the shell in single quotes.
RunResult RunTool(const std::string& args) {
    const std::string command = std::string(SABREL_HIVE_TOOL) + " check " + args + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    RunResult r{-1, {}};
    if (!p) return r;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class CheckCli : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sabrel-check-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string dir_;
};

TEST_F(CheckCli, JsonLinesAndExitCodes) {
    const std::string good = Write("good.dat", test::Baseline().bytes);
    RunResult r = RunTool("--json '" + good + "'");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"file\": \"" + good +
                         "\", \"status\": 0, \"good\": 3, \"bad\": 0, \"ghost\": 0}\n");

    test::HiveImage ghost = test::Baseline();
    ghost.U32(test::EntryAt(test::kAbc) + layout::keynode::kNameHash, 197);
    const std::string ghostPath = Write("ghost.dat", ghost.bytes);
    r = RunTool("--json '" + good + "' '" + ghostPath + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\"status\": 0, \"good\": 2, \"bad\": 0, \"ghost\": 1}\n"),
              std::string::npos);

    r = RunTool("--json '" + dir_ + "/missing.dat'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\"status\": -1, \"good\": 0"), std::string::npos);
}

TEST_F(CheckCli, BadKeysAreNoFindingAndCodePageDecidesThem) {
    test::HiveImage h = test::Baseline();
    h.Record(test::kAbcRecord, 0x20, 0, 0, "\x82\xA0");
    h.U32(test::EntryAt(test::kAbc) + layout::keynode::kNameHash, 34);
    const std::string path = Write("sjis.dat", h.bytes);
    RunResult r = RunTool("'" + path + "'");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, path + ": status 0, good 2, bad 1, ghost 0\n");
    r = RunTool("--codepage 1252 '" + path + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, path + ": status 0, good 2, bad 0, ghost 1\n");
}

TEST_F(CheckCli, PathIsEscapedInJson) {
    const std::string path = Write("a\"b\\c\x01.dat", test::Baseline().bytes);
    RunResult r = RunTool("--json '" + path + "'");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("a\\\"b\\\\c\\u0001.dat\""), std::string::npos) << r.out;
}

TEST_F(CheckCli, FileBeyondTheFormatsReachIsRefusedUnread) {
    const std::string path = dir_ + "/huge.dat";
    std::filesystem::resize_file(Write("huge.dat", {}), 0x80000000ull);  // sparse
    RunResult r = RunTool("--json '" + path + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(CheckCli, UsageErrors) {
    EXPECT_EQ(RunTool("").exitCode, 2);
    EXPECT_EQ(RunTool("--frobnicate x").exitCode, 2);
    EXPECT_EQ(RunTool("--codepage").exitCode, 2);
    EXPECT_EQ(RunTool("--codepage abc x").exitCode, 2);
    RunResult help = RunTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: sabrel-hive check", 0), 0u);
}

}  // namespace
}  // namespace sabrel::hive
