// vedris-results import of N results files of 50 items each (one folder of them, as a stick
// brings them), against the floor of reading and parsing the same files with the xml layer
// alone. Every file is a different candidate's; every tenth folder holds a second version.
//
//   bench_results_import_bench [--benchmark_filter=...]
//
// After the runs the program prints import / floor for N = 1,000 and 10,000, how the import
// grows from 1,000 to 10,000 files, and the peak memory of each import (it must not grow
// with N). The floor reads and parses on one thread, as a plain program would; the import
// parses on threads of its own (as many as there are processors, up to four) while it
// stores, so the wall clock is the measure, and on a busy machine it measures the
// neighbours too: run it on an idle one. Its processor time is printed beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "Database.h"
#include "Importer.h"
#include "ReadAhead.h"
#include "RunTimes.h"
#include "platform/xml/XmlDocument.h"

using namespace vedris;
namespace fs = std::filesystem;

namespace {

const char* const Choices[] = {"А", "Б", "В", "Г", "Д"};

std::string Value(const std::string& v) {
    return "<response_value response_status=\"Valid\">" + v + "</response_value>";
}

// As the client writes it: 30 single choices, 10 multiple choices, 10 text answers.
std::string MakeResults(int n) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report>\n<result>"
                    "<context><date><type_label>Останнє збереження</type_label><datetime>"
                    "2026-12-0" +
                    std::to_string(1 + n % 9) + "T10:" + std::to_string(10 + n % 50) +
                    ":00</datetime></date></context>\n"
                    "<assessment_result ident_ref=\"BENCH\" asi_title=\"Анкета\">\n";
    for (int k = 0; k < 50; ++k) {
        std::string item = "I" + std::to_string(k);
        x += "  <item_result ident_ref=\"" + item + "\" asi_title=\"Питання " + std::to_string(k) +
             "\">\n    <response ident_ref=\"R\">";
        if (k < 30)
            x += Value(Choices[(n + k) % 5]);
        else if (k < 40)
            x += Value(Choices[(n + k) % 5]) + Value(Choices[(n + k + 2) % 5]);
        else if ((n + k) % 3 == 0)
            x += "<response_value response_status=\"NA\"/>";
        else
            x += Value("Відповідь кандидата " + std::to_string(n) + " на питання " +
                       std::to_string(k) + ", кілька слів.");
        x += "</response>\n  </item_result>\n";
    }
    return x + "</assessment_result>\n</result>\n</qti_result_report>\n";
}

fs::path& Folder() {
    static fs::path folder = [] {
        std::string t = (fs::temp_directory_path() / "vedris-bench-XXXXXX").string();
        if (!mkdtemp(t.data()))
            throw std::runtime_error("mkdtemp failed");
        return fs::path(t);
    }();
    return folder;
}

// The folder of N files: k0/results.xml ... with a second version in every tenth folder.
std::string Files(int n) {
    static std::map<int, std::string> made;
    if (made.count(n))
        return made[n];
    fs::path root = Folder() / ("files-" + std::to_string(n));
    for (int i = 0; i < n; ++i) {
        fs::path dir = root / ("k" + std::to_string(i / 2));
        fs::create_directories(dir);
        std::ofstream(dir / (i % 2 ? "results.xml" : "copy.xml"), std::ios::binary)
            << MakeResults(i);
    }
    // Written out before anything is timed: the kernel writing them back meanwhile would
    // slow whichever run came first.
    ::sync();
    return made[n] = root.string();
}

// The peak resident memory since the last reset, in MB (Linux counts it per process).
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return -1;
}
std::map<int, double> importPeak;

// Processor time of the runs, besides the wall clock: on a shared machine the wall clock
// measures the neighbours as much as the import.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
std::map<std::string, std::vector<double>> cpu;

double MedianCpu(const std::string& name) {
    auto it = cpu.find(name);
    if (it == cpu.end() || it->second.empty())
        return -1;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Floor(benchmark::State& state) {
    std::string root = Files(int(state.range(0)));
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            paths.push_back(e.path().string());
    for (auto _ : state) {
        double start = CpuSeconds();
        for (const std::string& path : paths) {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            benchmark::DoNotOptimize(xml::Document::parse(bytes.str(), path));
        }
        cpu["Floor/" + std::to_string(state.range(0))].push_back(CpuSeconds() - start);
    }
}

void Import(benchmark::State& state) {
    int n = int(state.range(0));
    std::string root = Files(n);
    std::string db = (Folder() / "bench.db").string();
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(db + suffix);
        ResetPeak();
        state.ResumeTiming();
        double start = CpuSeconds();
        auto database = results::Database::open(db);
        results::Progress quiet(false);
        std::ostringstream err;
        results::Importer importer(*database, "", quiet, err);
        results::ImportCounts counts = importer.importSource(root);
        cpu["Import/" + std::to_string(n)].push_back(CpuSeconds() - start);
        if (counts.added != size_t(n))
            state.SkipWithError("not every file was imported");
    }
    importPeak[n] = PeakMb();
}

// The side of the import that reads and parses ahead, alone: what the storing overlaps.
void ReadingAhead(benchmark::State& state) {
    std::string root = Files(int(state.range(0)));
    for (auto _ : state) {
        results::ReadAhead reader(results::SourceKind::Folder, root, {});
        results::Prepared prepared;
        while (reader.next(prepared)) {
        }
    }
}

// One import is long enough to time alone; three give a median.
void ThreeRuns(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->Repetitions(3)->ReportAggregatesOnly()->Unit(benchmark::kMillisecond);
    b->UseRealTime();
}

BENCHMARK(Floor)->Arg(1000)->Arg(10000)->Apply(ThreeRuns);
BENCHMARK(ReadingAhead)->Arg(10000)->Apply(ThreeRuns);
BENCHMARK(Import)->Arg(1000)->Arg(10000)->Apply(ThreeRuns);

} // namespace

using bench::PrintRatio;

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::RunTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.Time(name); };
    std::printf("\n");
    PrintRatio("import / floor, 1,000 files", t("Import/1000/iterations:1/repeats:3/real_time"),
               t("Floor/1000/iterations:1/repeats:3/real_time"), 1.5);
    PrintRatio("import / floor, 10,000 files", t("Import/10000/iterations:1/repeats:3/real_time"),
               t("Floor/10000/iterations:1/repeats:3/real_time"), 1.5);
    PrintRatio("import 10,000 / 1,000 files (linear: 10)",
               t("Import/10000/iterations:1/repeats:3/real_time"),
               t("Import/1000/iterations:1/repeats:3/real_time"), 12);
    // For reading where the time goes: the import reads and parses on threads of its own, so
    // its processor time (all threads) is above its wall time, and noise moves it less.
    PrintRatio("reading and parsing ahead / floor, 10,000",
               t("ReadingAhead/10000/iterations:1/repeats:3/real_time"),
               t("Floor/10000/iterations:1/repeats:3/real_time"), 0);
    PrintRatio("processor time, 1,000 files", MedianCpu("Import/1000"), MedianCpu("Floor/1000"),
               0);
    PrintRatio("processor time, 10,000 files", MedianCpu("Import/10000"), MedianCpu("Floor/10000"),
               0);
    for (auto [n, mb] : importPeak)
        std::printf("peak memory of one import, %5d files  %6.1f MB\n", n, mb);
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
    return 0;
}
