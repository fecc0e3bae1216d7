#pragma once
// A console reporter that also keeps each benchmark's real time per iteration (or its
// median over repetitions), so a program can print its ratios after the runs.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace vedris::bench {

class RunTimes : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                times[run.run_name.str()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // The time of the run named name; -1 when it did not run.
    double Time(const std::string& name) const {
        auto it = times.find(name);
        return it == times.end() ? -1 : it->second;
    }
    std::map<std::string, double> times;
};

} // namespace vedris::bench
