// sabrel-hive make, compact and dump, run as programs.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string RunTool(const std::string& args, int* status) {
    std::string out;
    FILE* p = popen((std::string(SABREL_HIVE_TOOL) + " " + args + " 2>&1").c_str(), "r");
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
    void TearDown() override {
        for (const char* f : {"f.dat", "c.cln", "c2.cln", "cut.dat", "out.cln"}) {
            ::unlink((dir_ + "/" + f).c_str());
        }
        ::rmdir(dir_.c_str());
    }
    std::string P(const char* name) { return dir_ + "/" + name; }
    std::string dir_;
};

TEST_F(Tool, CompactShrinksAFragmentedHiveAndKeepsItsContent) {
    int st = 0;
    std::string made = RunTool(
        "make --seed 5 --keys 600 --fragmented --sjis 4 --sjis-bad 2 --json " + P("f.dat"), &st);
    ASSERT_EQ(st, 0) << made;
    EXPECT_NE(made.find("\"bad\": 2, \"ghost\": 2}"), std::string::npos) << made;
    std::string out = RunTool("compact " + P("f.dat") + " " + P("c.cln"), &st);
    ASSERT_EQ(st, 0) << out;
    EXPECT_NE(out.find("ratio: 0."), std::string::npos) << out;
    EXPECT_LT(Size(P("c.cln")), Size(P("f.dat")));
    std::string a = RunTool("dump " + P("f.dat"), &st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(a, RunTool("dump " + P("c.cln"), &st));

    // Compacting the compact file gives the same bytes.
    ASSERT_EQ((RunTool("compact " + P("c.cln") + " " + P("c2.cln"), &st), st), 0);
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
    RunTool("dump --codepage 0 " + P("f.dat"), &st);
    EXPECT_EQ(st, 2);
    EXPECT_EQ(Size(P("f.dat")), -1);
}

}  // namespace
