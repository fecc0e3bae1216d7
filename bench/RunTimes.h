#pragma once
// A console reporter that also keeps each benchmark's real time per iteration (or its
// median over repetitions), so a program can print its ratios after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
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

// Prints what's ratio a / b against its target, or that one of the two did not run.
// A target of 0: the ratio is shown for reading, with nothing to meet.
inline void PrintRatio(const char* what, double a, double b, double target) {
    if (a < 0 || b < 0) {
        std::printf("%-44s n/a (not run)\n", what);
        return;
    }
    const double r = a / b;
    if (target <= 0)
        std::printf("%-44s %6.2f\n", what, r);
    else
        std::printf("%-44s %6.2f  (target <= %.1f: %s)\n", what, r, target,
                    r <= target ? "met" : "MISSED");
}

} // namespace vedris::bench
