// SPDX-License-Identifier: MIT
// `sabrel-hive compact` under every system call failing once, and killed at
// every system call: strace injects the failure (ENOSPC, EIO, EACCES) or the
// SIGKILL at the Nth call of each kind the tool makes. Whatever happens, the
// input stays byte-identical, and the output is either absent or a hive that
// the checker passes with the input's keys and values; exit status 0 means
// the latter, any other status comes with a message. The sweep is bounded by
// SABREL_SWEEP_SECONDS (default 90). A full disk is tried on a small tmpfs
// where this process may mount one.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hive/checker.h"
#include "programs/sabrel-hive/machine.h"
#include "tests/support/no_loss.h"

namespace sabrel::test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string stderrText;
};

Outcome RunShell(const std::string& command, const fs::path& errFile) {
    Outcome o;
    int s = std::system((command + " 2>" + Quote(errFile.string()) + " >/dev/null").c_str());
    o.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    o.stderrText = Slurp(errFile);
    return o;
}

bool HaveStrace() {
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

// Checks one run of compact IN OUT: the input untouched, the output absent or
// good, status and message agreeing. Returns the violations.
std::vector<std::string> CheckCompact(const fs::path& in, const std::string& inBytes,
                                      const std::string& inContent, const fs::path& out,
                                      const Outcome& o, bool killed) {
    std::vector<std::string> v;
    if (Slurp(in) != inBytes) v.push_back("the input changed");
    bool exists = fs::exists(out);
    bool good = false;
    if (exists) {
        std::string bytes = Slurp(out);
        hive::HiveChecker checker(hive::ByteClasses::ForCodePage(932));
        checker.CheckImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        good = checker.status == 0 && LogicalContent(out.string()) == inContent;
        if (!good) v.push_back("the output is there but is not the input's hive");
    }
    if (!killed && o.status == 0 && !good) v.push_back("exit status 0 without a good output");
    if (!killed && o.status != 0 && o.stderrText.empty()) {
        v.push_back("exit status " + std::to_string(o.status) + " without a message");
    }
    return v;
}

class CompactFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("sabrel-compact-faults-" + std::to_string(::getpid()));
        fs::remove_all(root);
        tool::MachineOptions o;
        o.profiles = {u8"表ソ"};
        o.keys = 200;
        std::string error;
        ASSERT_TRUE(tool::MakeMachine(root.string(), o, &error)) << error;
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(CompactFaults, EverySystemCallFailureAndKillLeavesTheInputAndNoDamagedOutput) {
    if (!HaveStrace()) GTEST_SKIP() << "strace is not installed: the injected faults are skipped";
    double budget = 90;
    if (const char* s = std::getenv("SABREL_SWEEP_SECONDS")) budget = std::atof(s);
    auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> calls = {
        "openat", "read",   "pread64", "write",     "fsync",  "fdatasync",  "close", "fchmod",
        "link",   "linkat", "rename",  "renameat2", "unlink", "newfstatat", "flock", "mmap"};
    const char* errors[] = {"ENOSPC", "EIO", "EACCES"};
    int faults = 0, kills = 0, runs = 0;
    std::vector<std::string> violations;
    bool cut = false;
    // A system hive, and a profile hive in a folder whose name ends in 0x5C.
    for (const fs::path& in :
         {root / "WINDOWS" / "SYSTEM.DAT", root / "WINDOWS" / "Profiles" / u8"表ソ" / "USER.DAT"}) {
        const fs::path out = in.parent_path() / "COMPACT.DAT";
        const std::string inBytes = Slurp(in), inContent = LogicalContent(in.string());
        const std::string tool = std::string(SABREL_HIVE_TOOL) + " compact " + Quote(in.string()) +
                                 " " + Quote(out.string());
        const fs::path err = root / "err.txt", trace = root / "trace.txt";

        // How many calls of each kind a clean run makes.
        std::string set;
        for (const std::string& c : calls) set += (set.empty() ? "" : ",") + c;
        Outcome clean = RunShell(
            "strace -qq -o " + Quote(trace.string()) + " -e trace=" + set + " " + tool, err);
        ASSERT_EQ(clean.status, 0) << clean.stderrText;
        EXPECT_TRUE(CheckCompact(in, inBytes, inContent, out, clean, false).empty());
        std::map<std::string, int> counts;
        std::istringstream lines(Slurp(trace));
        for (std::string line; std::getline(lines, line);) {
            std::size_t paren = line.find('(');
            if (paren != std::string::npos) ++counts[line.substr(0, paren)];
        }
        for (const auto& [call, n] : counts) {
            for (int when = 1; when <= n && !cut; ++when) {
                std::vector<std::string> injections;
                for (const char* e : errors) injections.push_back(std::string("error=") + e);
                injections.push_back("signal=KILL");
                for (const std::string& what : injections) {
                    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count() > budget) {
                        cut = true;
                        break;
                    }
                    fs::remove(out);
                    Outcome o =
                        RunShell("strace -qq -o /dev/null -e trace=" + call + " -e inject=" + call +
                                     ":" + what + ":when=" + std::to_string(when) + " " + tool,
                                 err);
                    bool killed = what == "signal=KILL";
                    ++runs;
                    killed ? ++kills : ++faults;
                    for (const std::string& s :
                         CheckCompact(in, inBytes, inContent, out, o, killed)) {
                        std::string line = in.filename().string() + ": " + call + " #" +
                                           std::to_string(when) + " " + what + ": " + s;
                        std::printf("[compact sweep] VIOLATION %s\n", line.c_str());
                        violations.push_back(line);
                    }
                }
            }
        }
        fs::remove(out);
    }
    std::printf("[compact sweep] runs %d%s; faults injected %d; kills %d; violations %zu\n", runs,
                cut ? " (cut by SABREL_SWEEP_SECONDS)" : "", faults, kills, violations.size());
    EXPECT_TRUE(violations.empty()) << violations.front();
}

// A real full disk: a tmpfs too small for the output. Needs the right to
// mount, which a root test run has; elsewhere it is skipped with the reason.
TEST_F(CompactFaults, FullDiskLeavesTheInputAndNoOutput) {
    // Room for the input and two pages more: the output cannot fit.
    std::string bytes = Slurp(root / "WINDOWS" / "SYSTEM.DAT");
    ASSERT_GT(bytes.size(), 40000u);
    std::string size = "size=" + std::to_string((bytes.size() + 4095) / 4096 * 4096 + 8192);
    fs::path mnt = root / "small";
    fs::create_directories(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, size.c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "): the full-disk run is skipped";
    }
    fs::path in = mnt / "SYSTEM.DAT";
    fs::copy_file(root / "WINDOWS" / "SYSTEM.DAT", in, fs::copy_options::overwrite_existing);
    std::string inContent = LogicalContent(in.string());
    Outcome o = RunShell(std::string(SABREL_HIVE_TOOL) + " compact " + Quote(in.string()) + " " +
                             Quote((mnt / "OUT.DAT").string()),
                         root / "err.txt");
    std::vector<std::string> v = CheckCompact(in, bytes, inContent, mnt / "OUT.DAT", o, false);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(mnt)) left.push_back(e.path().filename());
    ::umount(mnt.c_str());
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.stderrText.find("112"), std::string::npos) << o.stderrText;
    EXPECT_TRUE(v.empty()) << v.front();
    EXPECT_EQ(left, std::vector<std::string>{"SYSTEM.DAT"});
}

}  // namespace
}  // namespace sabrel::test
