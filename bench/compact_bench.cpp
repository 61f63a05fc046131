// SPDX-License-Identifier: MIT
// Compacting a large fragmented hive through the offline registry engine's
// file functions (load, then save to a new file that appears whole), side by
// side with copying the same file (read whole into memory, write a new file,
// flush it). Target: compacting takes at most 1.75x as long as copying, in
// real time. Peak memory of a compaction, measured in a child process, is set
// against the file's size. Target: at most 1.25x.
// The hive is SABREL_BENCH_HIVE when set, else a 100 MiB fragmented hive
// synthesized once into the working folder (sabrel-bench-compact-100m.dat).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "creg/creg_tree.h"
#include "creg/synth.h"
#include "platform/offline/registry/hive_file.h"

namespace {

std::string g_path;
const char kOut[] = "sabrel-bench-compact.out";

std::string PrepareHive() {
    if (const char* env = std::getenv("SABREL_BENCH_HIVE"); env && *env) return env;
    const std::string path = "sabrel-bench-compact-100m.dat";
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
    sabrel::hive::SynthOptions o;
    o.seed = 100;
    o.keys = 1000;
    o.maxData = 200;
    o.sjis = 200;
    o.sjisBad = 100;
    o.ghosts = 50;
    o.fragmented = true;
    o.targetSize = 100ull << 20;
    std::vector<std::uint8_t> bytes = sabrel::hive::Synthesize(o);
    FILE* f = std::fopen(path.c_str(), "wbx");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

// The whole file into one buffer, on huge pages where the system has them.
bool ReadAll(int fd, std::vector<std::uint8_t>* bytes) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    const auto size = static_cast<std::size_t>(st.st_size);
    bytes->reserve(size);
    constexpr std::uintptr_t kHugePage = 2u << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(bytes->data());
    const std::uintptr_t start = (at + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (at + size) & ~(kHugePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    bytes->resize(size);
    std::size_t have = 0;
    while (have < size) {
        ssize_t n = ::pread(fd, bytes->data() + have, size - have, static_cast<off_t>(have));
        if (n <= 0) return false;
        have += static_cast<std::size_t>(n);
    }
    return true;
}

bool CopyFile(const std::string& from, const char* to) {
    int in = ::open(from.c_str(), O_RDONLY);
    std::vector<std::uint8_t> bytes;
    bool ok = in >= 0 && ReadAll(in, &bytes);
    if (in >= 0) ::close(in);
    int out = ok ? ::open(to, O_WRONLY | O_CREAT | O_EXCL, 0644) : -1;
    std::size_t done = 0;
    while (out >= 0 && done < bytes.size()) {
        ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ok = out >= 0 && done == bytes.size() && ::fsync(out) == 0;
    if (out >= 0) ::close(out);
    return ok;
}

bool Compact(const std::string& from, const char* to) {
    sabrel::hive::CregTree tree;
    return sabrel::platform::offline::LoadHiveFile(from, &tree) == 0 &&
           sabrel::platform::offline::SaveHiveFile(tree, 0, to) == 0;
}

void BM_CopyFile(benchmark::State& state) {
    for (auto _ : state) {
        if (!CopyFile(g_path, kOut)) {
            state.SkipWithError("copy failed");
            break;
        }
        state.PauseTiming();
        ::unlink(kOut);
        state.ResumeTiming();
    }
}

void BM_Compact(benchmark::State& state) {
    for (auto _ : state) {
        if (!Compact(g_path, kOut)) {
            state.SkipWithError("compaction failed");
            break;
        }
        state.PauseTiming();
        ::unlink(kOut);
        state.ResumeTiming();
    }
}

// Peak resident memory of one compaction or one copy, run alone in a fresh
// process (this program again, with --peak-child), in bytes.
const char* g_self = nullptr;

long long PeakOfChild(const char* what) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(g_self, g_self, "--peak-child", what, g_path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    ::unlink(kOut);
    return static_cast<long long>(ru.ru_maxrss) * 1024;
}

}  // namespace

BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak-child") {
        bool compact = std::string(argv[2]) == "compact";
        return (compact ? Compact : CopyFile)(argv[3], kOut) ? 0 : 1;
    }
    g_self = argv[0];
    benchmark::Initialize(&argc, argv);
    g_path = PrepareHive();
    ::unlink(kOut);
    sabrel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    struct stat st;
    long long size = ::stat(g_path.c_str(), &st) == 0 ? st.st_size : 0;
    std::printf("\nhive: %s, %lld bytes\n", g_path.c_str(), size);
    const char* kinds[] = {"real", "CPU"};
    for (int k = 0; k < 2; ++k) {
        auto& t = k == 0 ? reporter.real : reporter.cpu;
        if (t["BM_CopyFile"] > 0) {
            std::printf("%s time: compact / copy = %.2fx (target at most 1.75x)\n", kinds[k],
                        t["BM_Compact"] / t["BM_CopyFile"]);
        }
    }
    long long compactPeak = PeakOfChild("compact"), copyPeak = PeakOfChild("copy");
    if (size > 0 && compactPeak > 0) {
        std::printf(
            "peak memory: compact %.1f MiB = %.2fx the file (target at most 1.25x); copy %.1f "
            "MiB\n",
            compactPeak / 1048576.0, static_cast<double>(compactPeak) / size, copyPeak / 1048576.0);
    }
    benchmark::Shutdown();
    return 0;
}
