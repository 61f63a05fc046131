// SPDX-License-Identifier: MIT
// sabrel-hive make, compact and dump, run as programs.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Runs the tool with standard error joined to its output, or dropped.
std::string RunTool(const std::string& args, int* status, bool withErrors = true) {
    std::string out;
    const char* redirect = withErrors ? " 2>&1" : " 2>/dev/null";
    FILE* p = popen((std::string(SABREL_HIVE_TOOL) + " " + args + redirect).c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int s = pclose(p);
    *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

long long Size(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class Tool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "sabrel_tool_XXXXXX";
        ASSERT_NE(::mkdtemp(dir_.data()), nullptr);
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string P(const char* name) { return dir_ + "/" + name; }
    std::string dir_;
};

TEST_F(Tool, CompactShrinksAFragmentedHiveAndKeepsItsContent) {
    int st = 0;
    std::string made = RunTool(
        "make --seed 5 --keys 600 --fragmented --sjis 4 --sjis-bad 2 --json " + P("f.dat"), &st);
    ASSERT_EQ(st, 0) << made;
    EXPECT_NE(made.find("\"bad\": 2, \"ghost\": 2}"), std::string::npos) << made;
    // Ghost keys: refused unless forced; forced, they are carried over.
    RunTool("compact " + P("f.dat") + " " + P("c.cln"), &st);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(Size(P("c.cln")), -1);
    std::string out = RunTool("compact --force " + P("f.dat") + " " + P("c.cln"), &st);
    ASSERT_EQ(st, 0) << out;
    EXPECT_NE(out.find("ratio: 0."), std::string::npos) << out;
    EXPECT_LT(Size(P("c.cln")), Size(P("f.dat")));
    std::string a = RunTool("dump " + P("f.dat"), &st, false);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(a, RunTool("dump " + P("c.cln"), &st, false));
    EXPECT_NE(RunTool("check " + P("c.cln"), &st).find("good 600, bad 2, ghost 2"),
              std::string::npos);

    // Compacting the compact file gives the same bytes.
    ASSERT_EQ((RunTool("compact --force " + P("c.cln") + " " + P("c2.cln"), &st), st), 0);
    std::ifstream x(P("c.cln"), std::ios::binary), y(P("c2.cln"), std::ios::binary);
    EXPECT_TRUE(
        std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y)));
}

TEST_F(Tool, RefusesToOverwriteAndLeavesNoOutputOnBadInput) {
    int st = 0;
    ASSERT_EQ((RunTool("make --keys 10 " + P("f.dat"), &st), st), 0);
    long long size = Size(P("f.dat"));
    EXPECT_EQ((RunTool("make --keys 20 " + P("f.dat"), &st), st), 1);
    EXPECT_EQ(Size(P("f.dat")), size);
    ASSERT_EQ((RunTool("compact " + P("f.dat") + " " + P("c.cln"), &st), st), 0);
    EXPECT_EQ((RunTool("compact " + P("f.dat") + " " + P("c.cln"), &st), st), 1);

    ASSERT_EQ(::truncate(P("f.dat").c_str(), size - 100), 0);
    EXPECT_EQ((RunTool("compact " + P("f.dat") + " " + P("out.cln"), &st), st), 1);
    EXPECT_EQ(Size(P("out.cln")), -1);
    EXPECT_EQ((RunTool("dump " + P("f.dat"), &st), st), 1);
}

// One byte of the key-node area's root offset changed in an installation's
// USER.DAT: the loader then reaches a single key, the checker a ghost one.
TEST_F(Tool, CompactRefusesAHiveTheCheckerDoesNotPassAndWritesNothing) {
    int st = 0;
    ASSERT_EQ((RunTool("make-machine " + P("m"), &st), st), 0);
    // A folder whose name ends in a 0x5C trail byte in code page 932 (表ソ).
    const std::string folder = P("\x95\x5c\x83\x5c");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string damaged = folder + "/USER.DAT", out = folder + "/USER.CLN";
    {
        std::ifstream in(P("m") + "/WINDOWS/USER.DAT", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(bytes.size(), 0x29u);
        bytes[0x29] = 0x01;
        std::ofstream(damaged, std::ios::binary) << bytes;
    }
    const std::string q = " '" + damaged + "' '" + out + "'";
    std::string msg = RunTool("compact" + q, &st);
    EXPECT_EQ(st, 1) << msg;
    EXPECT_NE(msg.find("ghost 1"), std::string::npos) << msg;
    EXPECT_NE(msg.find("--force"), std::string::npos) << msg;
    EXPECT_EQ(Size(out), -1);
    // Forced, the compact form would keep one key of 210: still nothing.
    msg = RunTool("compact --force" + q, &st);
    EXPECT_EQ(st, 1) << msg;
    EXPECT_NE(msg.find("nothing written"), std::string::npos) << msg;
    EXPECT_EQ(std::system(("test \"$(ls -A '" + folder + "')\" = USER.DAT").c_str()), 0);

    msg = RunTool("dump '" + damaged + "'", &st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(msg.find("sabrel-hive dump: warning: "), 0u) << msg;
    EXPECT_EQ(RunTool("dump " + P("m") + "/WINDOWS/USER.DAT", &st).find("warning"),
              std::string::npos);

    // The same file undamaged compacts, with the same counts.
    msg = RunTool("compact " + P("m") + "/WINDOWS/USER.DAT '" + out + "'", &st);
    ASSERT_EQ(st, 0) << msg;
    EXPECT_NE(RunTool("check '" + out + "'", &st).find("status 0, good 210, bad 0, ghost 0"),
              std::string::npos);
}

TEST_F(Tool, UsageErrorsAndHelp) {
    int st = 0;
    EXPECT_NE(RunTool("make --help", &st).find("--fragmented"), std::string::npos);
    EXPECT_EQ(st, 0);
    RunTool("make --keys many " + P("f.dat"), &st);
    EXPECT_EQ(st, 2);
    RunTool("make --sjis 1 --sjis-bad 2 " + P("f.dat"), &st);
    EXPECT_EQ(st, 2);
    RunTool("compact " + P("f.dat"), &st);
    EXPECT_EQ(st, 2);
    EXPECT_NE(RunTool("compact --help", &st).find("--force"), std::string::npos);
    EXPECT_EQ(st, 0);
    EXPECT_NE(RunTool("--help", &st).find("compact [--force] IN OUT"), std::string::npos);
    RunTool("dump --codepage 0 " + P("f.dat"), &st);
    EXPECT_EQ(st, 2);
    EXPECT_EQ(Size(P("f.dat")), -1);
}

}  // namespace
