// SPDX-License-Identifier: MIT
// The stand-in archiver's -lh5- compressor against jlha (Debian's jlha-utils,
// the only command-line -lh5- creator there) on the same 8 MiB hive, side by
// side: time per run and packed size. jlha runs as a process, so its time
// includes the Java start; both are measured in real time and in CPU time
// (jlha's as its processes' user and system time). The packed sizes
// and their ratio are printed after the benchmarks.
// Target: at most 0.99x jlha's packed size, in at most half jlha's time.
// With SABREL_BENCH_HIVE set, its first 8 MiB (or the whole file, when it is
// smaller) are the input instead of the synthesized hive.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archiver/lh5.h"
#include "archiver/lzh_archive.h"
#include "bench/ratio_reporter.h"
#include "creg/synth.h"

namespace {

std::vector<std::uint8_t> GivenHive(const char* path) {
    std::vector<std::uint8_t> bytes(8u << 20);
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(1);
    }
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

const std::vector<std::uint8_t>& Hive() {
    static const std::vector<std::uint8_t> bytes = [] {
        if (const char* env = std::getenv("SABREL_BENCH_HIVE"); env && *env) return GivenHive(env);
        sabrel::hive::SynthOptions o;
        o.seed = 8;
        o.keys = 1000;
        o.maxValues = 6;
        o.maxData = 48;
        o.sjis = 100;
        o.fragmented = true;
        o.targetSize = (8u << 20) + (1u << 20);
        sabrel::hive::SynthStats stats;
        std::vector<std::uint8_t> bytes = sabrel::hive::Synthesize(o, &stats);
        bytes.resize(8u << 20);  // exactly 8 MiB; compressors do not care where it ends
        return bytes;
    }();
    return bytes;
}

std::size_t g_ourPacked = 0;
std::size_t g_jlhaPacked = 0;
double g_jlhaCpuMs = 0;  // user and system time of the jlha processes, per run

double ChildCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void BM_StandInLh5(benchmark::State& state) {
    const auto& hive = Hive();
    sabrel::archiver::Lh5EncoderOptions options;
    options.maxChain = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::uint8_t> packed =
            sabrel::archiver::Lh5Encode(hive.data(), hive.size(), options);
        benchmark::DoNotOptimize(packed.data());
        if (options.maxChain == sabrel::archiver::Lh5EncoderOptions{}.maxChain)
            g_ourPacked = packed.size();
        state.counters["packed"] = static_cast<double>(packed.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hive.size()));
}
BENCHMARK(BM_StandInLh5)
    ->Arg(4)
    ->Arg(sabrel::archiver::Lh5EncoderOptions{}.maxChain)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_StandInDecode(benchmark::State& state) {
    const auto& hive = Hive();
    std::vector<std::uint8_t> packed = sabrel::archiver::Lh5Encode(hive.data(), hive.size());
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        sabrel::archiver::Lh5Decode(packed.data(), packed.size(), hive.size(), &out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hive.size()));
}
BENCHMARK(BM_StandInDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Jlha(benchmark::State& state) {
    if (std::system("command -v jlha >/dev/null 2>&1") != 0) {
        state.SkipWithError("jlha is not installed");
        return;
    }
    const auto& hive = Hive();
    char dir[] = "/tmp/sabrel-jlha-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string d = dir;
    FILE* f = std::fopen((d + "/SYSTEM.DAT").c_str(), "wb");
    std::fwrite(hive.data(), 1, hive.size(), f);
    std::fclose(f);
    const std::string cmd =
        "cd " + d + " && rm -f J.LZH && jlha a J.LZH SYSTEM.DAT >/dev/null 2>&1";
    const double cpuBefore = ChildCpuMs();
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("jlha failed");
            break;
        }
    }
    if (state.iterations() > 0)
        g_jlhaCpuMs = (ChildCpuMs() - cpuBefore) / static_cast<double>(state.iterations());
    // The member's packed size, read from its header.
    std::vector<std::uint8_t> arc;
    if (FILE* a = std::fopen((d + "/J.LZH").c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(a)) != EOF) arc.push_back(static_cast<std::uint8_t>(c));
        std::fclose(a);
    }
    sabrel::archiver::Archive parsed;
    if (sabrel::archiver::ParseArchive(arc.data(), arc.size(), &parsed) == 0 &&
        !parsed.members.empty()) {
        g_jlhaPacked = parsed.members[0].packedSize;
        state.counters["packed"] = static_cast<double>(g_jlhaPacked);
    }
    std::system(("rm -rf " + d).c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hive.size()));
}
BENCHMARK(BM_Jlha)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    sabrel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const char* env = std::getenv("SABREL_BENCH_HIVE");
    std::printf("\ninput: %s, %zu bytes\n", env && *env ? env : "synthesized hive", Hive().size());
    if (g_ourPacked && g_jlhaPacked) {
        std::printf(
            "packed: stand-in %zu, jlha %zu; stand-in / jlha = %.3f (target at most 0.99)\n",
            g_ourPacked, g_jlhaPacked,
            static_cast<double>(g_ourPacked) / static_cast<double>(g_jlhaPacked));
    }
    // The default setting's run carries the default chain length as its argument.
    const std::string ours =
        "BM_StandInLh5/" + std::to_string(sabrel::archiver::Lh5EncoderOptions{}.maxChain);
    const double oursTime = reporter.real[ours], jlhaTime = reporter.real["BM_Jlha"];
    if (oursTime > 0 && jlhaTime > 0) {
        std::printf("real time: jlha / stand-in = %.2fx (target at least 2x)\n",
                    jlhaTime / oursTime);
    }
    const double oursCpu = reporter.cpu[ours];
    if (oursCpu > 0 && g_jlhaCpuMs > 0) {
        std::printf("CPU time: jlha / stand-in = %.2fx (jlha %.0f ms, stand-in %.0f ms)\n",
                    g_jlhaCpuMs / oursCpu, g_jlhaCpuMs, oursCpu);
    }
    return 0;
}
