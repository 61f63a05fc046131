// SPDX-License-Identifier: MIT
// The hive checker on a large fragmented hive, as the program runs it on
// Linux (the file mapped by the offline platform's helper, then checked where
// it lies), side by side with
//   - reading the same file into memory (the checker should take at most
//     1.8x),
//   - libcreg's full traversal of its keys and values (the checker should be
//     at least 100x faster).
// The hive is SABREL_BENCH_HIVE when set, else a 100 MiB fragmented hive
// synthesized once into the working folder (sabrel-bench-100m.dat).
// The ratios are printed after the benchmarks.
#include <benchmark/benchmark.h>
#include <libcreg.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "creg/synth.h"
#include "hive/checker.h"
#include "platform/offline/host_files.h"

namespace {

std::string g_path;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::vector<std::uint8_t> data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    struct stat st;
    if (fstat(fileno(f), &st) == 0) data.resize(static_cast<std::size_t>(st.st_size));
    const std::size_t n = std::fread(data.data(), 1, data.size(), f);
    data.resize(n);
    std::fclose(f);
    return data;
}

std::string PrepareHive() {
    if (const char* env = std::getenv("SABREL_BENCH_HIVE"); env && *env) return env;
    const std::string path = "sabrel-bench-100m.dat";
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
    sabrel::hive::SynthOptions o;
    o.seed = 100;
    o.keys = 1000;
    o.maxValues = 6;
    o.maxData = 200;
    o.sjis = 200;
    o.sjisBad = 100;
    o.ghosts = 50;
    o.fragmented = true;
    o.targetSize = 100ull << 20;
    sabrel::hive::SynthStats stats;
    std::vector<std::uint8_t> bytes = sabrel::hive::Synthesize(o, &stats);
    // The target is approached by an estimate; one more round makes sure.
    if (bytes.size() < (100ull << 20)) {
        o.targetSize = (100ull << 20) * (100ull << 20) / bytes.size() + (256u << 10);
        bytes = sabrel::hive::Synthesize(o, &stats);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
    std::fprintf(stderr, "synthesized %s: %zu bytes, %llu keys, %llu values, %u blocks\n",
                 path.c_str(), bytes.size(), static_cast<unsigned long long>(stats.keys),
                 static_cast<unsigned long long>(stats.values), stats.blocks);
    return path;
}

void BM_ReadFile(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::uint8_t> data = ReadFile(g_path);
        benchmark::DoNotOptimize(data.data());
    }
}

void BM_CheckHive(benchmark::State& state) {
    sabrel::hive::HiveChecker checker(sabrel::hive::ByteClasses::ForCodePage(932));
    for (auto _ : state) {
        std::unique_ptr<sabrel::platform::FileImage> image =
            sabrel::platform::offline::MapHostFile(g_path);
        if (!image) {
            state.SkipWithError("cannot map the hive");
            return;
        }
        checker.CheckImage(image->data(), image->size());
        benchmark::DoNotOptimize(checker.result);
    }
    state.counters["status"] = checker.status;
    state.counters["good"] = checker.result.goodKeys;
    state.counters["bad"] = checker.result.badKeys;
    state.counters["ghost"] = checker.result.ghostKeys;
}

// Every key and every value: names, types and data, as a dump would read them.
bool Traverse(libcreg_key_t* key, std::uint64_t* keys, std::uint64_t* values) {
    ++*keys;
    std::uint8_t buf[70000];
    size_t size = 0;
    if (libcreg_key_get_name_size(key, &size, nullptr) == 1 && size <= sizeof buf) {
        libcreg_key_get_name(key, buf, size, nullptr);
    }
    int count = 0;
    if (libcreg_key_get_number_of_values(key, &count, nullptr) != 1) return false;
    for (int i = 0; i < count; ++i) {
        libcreg_value_t* value = nullptr;
        if (libcreg_key_get_value_by_index(key, i, &value, nullptr) != 1) return false;
        uint32_t type = 0;
        libcreg_value_get_value_type(value, &type, nullptr);
        if (libcreg_value_get_name_size(value, &size, nullptr) == 1 && size <= sizeof buf) {
            libcreg_value_get_name(value, buf, size, nullptr);
        }
        if (libcreg_value_get_value_data_size(value, &size, nullptr) == 1 && size > 0 &&
            size <= sizeof buf) {
            libcreg_value_get_value_data(value, buf, size, nullptr);
        }
        libcreg_value_free(&value, nullptr);
        ++*values;
    }
    if (libcreg_key_get_number_of_sub_keys(key, &count, nullptr) != 1) return false;
    for (int i = 0; i < count; ++i) {
        libcreg_key_t* sub = nullptr;
        if (libcreg_key_get_sub_key_by_index(key, i, &sub, nullptr) != 1) return false;
        const bool ok = Traverse(sub, keys, values);
        libcreg_key_free(&sub, nullptr);
        if (!ok) return false;
    }
    return true;
}

void BM_LibcregTraversal(benchmark::State& state) {
    std::uint64_t keys = 0, values = 0;
    for (auto _ : state) {
        keys = values = 0;
        libcreg_file_t* file = nullptr;
        libcreg_key_t* root = nullptr;
        if (libcreg_file_initialize(&file, nullptr) != 1 ||
            libcreg_file_open(file, g_path.c_str(), LIBCREG_OPEN_READ, nullptr) != 1 ||
            libcreg_file_get_root_key(file, &root, nullptr) != 1 ||
            !Traverse(root, &keys, &values)) {
            state.SkipWithError("libcreg cannot read the hive");
        }
        libcreg_key_free(&root, nullptr);
        libcreg_file_close(file, nullptr);
        libcreg_file_free(&file, nullptr);
    }
    state.counters["keys"] = static_cast<double>(keys);
    state.counters["values"] = static_cast<double>(values);
}

}  // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CheckHive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibcregTraversal)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_path = PrepareHive();
    sabrel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nhive: %s\n", g_path.c_str());
    const char* kinds[] = {"real", "CPU"};
    for (int k = 0; k < 2; ++k) {
        auto& t = k == 0 ? reporter.real : reporter.cpu;
        const double read = t["BM_ReadFile"];
        const double check = t["BM_CheckHive"];
        const double lib = t["BM_LibcregTraversal"];
        if (read > 0 && check > 0) {
            std::printf("%s time: check / read into memory = %.2fx (target at most 1.8x)\n",
                        kinds[k], check / read);
        }
        if (check > 0 && lib > 0) {
            std::printf("%s time: libcreg traversal / check = %.1fx (target at least 100x)\n",
                        kinds[k], lib / check);
        }
    }
    benchmark::Shutdown();
    return 0;
}
