// SPDX-License-Identifier: MIT
// A console reporter that also keeps each benchmark's real and CPU time per
// iteration, so that a benchmark program can print ratios measured side by
// side in one run. Times are kept by function name and, for a benchmark run
// with arguments, also by "name/args" (the last run of a name wins the first).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace sabrel::bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
                const std::string& name = r.run_name.function_name;
                real[name] = r.GetAdjustedRealTime();
                cpu[name] = r.GetAdjustedCPUTime();
                if (!r.run_name.args.empty()) {
                    real[name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
                    cpu[name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> real, cpu;
};

}  // namespace sabrel::bench
