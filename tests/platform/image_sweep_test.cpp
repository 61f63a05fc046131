// SPDX-License-Identifier: MIT
// The crash sweep on a disk image: the whole program (sabrel-script) runs on
// a FAT16 image of a Windows Me machine whose user's profile folder has a
// 0x5C trail byte, and dies at its Nth write to the image, for N over the
// whole run, in copy and in archive mode. After each death fsck.fat finds no
// damage beyond lost clusters, and the no-loss invariant holds on the
// volume's files, before and after the next start of Windows.
// SABREL_SWEEP_SECONDS bounds the time (default 60): past a first pass over
// every Nth write, the cases are spread evenly over the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/volume.h"
#include "tests/platform/image_fixture.h"
#include "tests/support/no_loss.h"

namespace sabrel::platform::testing {
namespace {

namespace fs = std::filesystem;
using offline::CodePage;
using namespace offline::fat;

const CodePage kCp932(932);

// Copies the volume's files to a host folder under their 8.3 aliases, so
// that the DOS paths the program wrote (short paths, in WININIT.INI and the
// restore batch) name them on the host as they do on the volume.
bool ExtractByAlias(Volume& v, std::uint32_t folder, const fs::path& host) {
    std::vector<DirEntry> entries;
    if (v.List(folder, &entries) != FatError::kNone) return false;
    fs::create_directories(host);
    for (const DirEntry& e : entries) {
        std::string name;
        if (!kCp932.ToHost(e.shortName, &name)) return false;
        if (e.IsDirectory()) {
            if (!ExtractByAlias(v, e.firstCluster, host / name)) return false;
            continue;
        }
        std::string data;
        if (v.Read(e, &data) != FatError::kNone) return false;
        std::ofstream(host / name, std::ios::binary) << data;
    }
    return true;
}

bool Extract(const std::string& image, const fs::path& host) {
    fs::remove_all(host);
    FileDevice::OpenError oe;
    auto device = FileDevice::Open(image, false, &oe);
    FatError fe;
    auto volume = device ? Volume::Open(device.get(), &kCp932, &kCp932, &fe) : nullptr;
    return volume && ExtractByAlias(*volume, volume->root(), host);
}

// fsck.fat's findings beyond lost clusters and the hints that go with them
// (the free count, a second FAT copy not yet written); empty when none.
std::string Damage(const std::string& image) {
    std::string out;
    Shell("fsck.fat -n " + ShellQuote(image), &out);
    std::istringstream lines(out);
    std::string line, damage;
    bool lostChainsFollow = false;
    for (std::size_t n = 0; std::getline(lines, line); ++n) {
        bool fine = n == 0 || line.empty() || line.find(" files, ") != std::string::npos ||
                    line.find("Leaving filesystem unchanged") != std::string::npos ||
                    line.find("unused cluster") != std::string::npos ||
                    line.find("Free cluster summary") != std::string::npos ||
                    line.find("FATs differ") != std::string::npos ||
                    line.find("Using first FAT") != std::string::npos ||
                    line.find("Differences") != std::string::npos ||
                    (lostChainsFollow && line.rfind("  ", 0) == 0);
        if (line.find("FATs differ") != std::string::npos) lostChainsFollow = true;
        if (!fine) damage += line + "\n";
    }
    return damage;
}

struct Sweep {
    fs::path root;
    std::string templateImage;
    std::size_t cases = 0;

    // Runs the program on a fresh copy of the image, killed at write `killAt`
    // (0: never); returns its exit status.
    int Run(const std::string& image, long killAt, bool archive) {
        fs::copy_file(templateImage, image, fs::copy_options::overwrite_existing);
        std::string env = "SABREL_IMAGE=" + ShellQuote(image) +
                          " SABREL_RUNTIME_DIR=" + ShellQuote((root / "run").string()) +
                          " SABREL_IMAGE_KILL_AT=" + std::to_string(killAt);
        if (!archive) env += " SABREL_UNLHA_PATH=/nonexistent/libunlha32.so";
        return Shell(env + " " + SABREL_SCRIPT_PATH + " >/dev/null");
    }

    std::vector<std::string> Check(long killAt, bool archive) {
        ++cases;
        const std::string image = (root / "case.img").string();
        int status = Run(image, killAt, archive);
        std::string tag =
            std::string(archive ? "archive" : "copy") + " write " + std::to_string(killAt) + ": ";
        std::vector<std::string> v;
        if (status != kKilledAtWrite && status != 0)
            v.push_back("exit status " + std::to_string(status));
        if (std::string d = Damage(image); !d.empty()) v.push_back("fsck.fat: " + d);
        const fs::path host = root / "host";
        if (!Extract(templateImage, host)) return {tag + "the template cannot be read"};
        test::InstallationSnapshot before = test::TakeSnapshot((host / "WINDOWS").string());
        if (!Extract(image, host)) return {tag + "the volume cannot be read"};
        // The run's own restart may have begun: WININIT.INI was claimed.
        bool began = fs::exists(host / "WINDOWS" / "WININIT.BAK");
        for (const std::string& s : test::CheckNoLoss(before, began)) v.push_back("before: " + s);
        for (const std::string& s : test::StrictRestart(before)) v.push_back("restart: " + s);
        for (const std::string& s : test::CheckNoLoss(before, true)) v.push_back("after: " + s);
        for (std::string& s : v) s = tag + s;
        return v;
    }

    // The number of writes of a whole run: the first N at which it is not killed, less one.
    long Writes(bool archive) {
        const std::string image = (root / "case.img").string();
        long high = 64;
        while (Run(image, high, archive) == kKilledAtWrite) high *= 2;
        long low = high / 2;  // killed at low (or low is the first guess's half)
        while (high - low > 1) {
            long mid = (low + high) / 2;
            (Run(image, mid, archive) == kKilledAtWrite ? low : high) = mid;
        }
        return low;
    }
};

TEST(ImageCrashSweep, AKillAtAnyWriteLeavesLostClustersAtWorstAndLosesNothing) {
    TempImage image(16, "16384");
    ASSERT_TRUE(image.ok());
    Sweep s;
    s.root = image.dir();
    fs::create_directories(s.root / "run");
    const fs::path machine = s.root / "machine";
    ASSERT_EQ(Shell(std::string(SABREL_HIVE_PATH) + " make-machine --me --user " +
                    ShellQuote(u8"ソ表") + " --profile " + ShellQuote(u8"ソ表") +
                    " --profile Taro --keys 120 " + ShellQuote(machine.string()) + " >/dev/null"),
              0);
    ASSERT_EQ(Shell("mcopy -s -i " + ShellQuote(image.path()) + " " +
                    ShellQuote((machine / "WINDOWS").string()) + " ::/"),
              0);
    s.templateImage = image.path();

    double budget = 60;
    if (const char* b = std::getenv("SABREL_SWEEP_SECONDS")) budget = std::atof(b);
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::vector<std::string> violations;
    long total = 0;
    for (bool archive : {false, true}) {
        // The complete run first: it must keep everything too.
        for (const std::string& v : s.Check(0, archive)) violations.push_back(v);
        long writes = s.Writes(archive);
        total += writes;
        ASSERT_GT(writes, 10);
        double share = (budget - elapsed()) / (archive ? 1 : 2);
        double perCase = elapsed() / static_cast<double>(s.cases + 1) + 0.05;
        // Every write when the budget allows, else every stride-th.
        long stride = std::max(1L, static_cast<long>(writes * perCase / std::max(share, 1.0)) + 1);
        for (long n = 1; n <= writes; n += stride) {
            for (const std::string& v : s.Check(n, archive)) violations.push_back(v);
            if (violations.size() > 20) break;
        }
    }
    std::printf("[sweep] %zu cases over %ld writes in %.0f s\n", s.cases, total, elapsed());
    for (const std::string& v : violations) ADD_FAILURE() << v;
}

}  // namespace
}  // namespace sabrel::platform::testing
