// What a draft of the 300-item bench page (660 controls, as bench/browser_speed.sh
// generates it, every one answered) costs the main thread: the page's reply to the read
// arrives as JSON text, is parsed, and the draft is serialised and written durably
// (temporary file, fsync, rename, folder fsync) into Results/drafts/. The budget is 20 ms.
//
//   bench_draft_bench [--benchmark_filter=...]
//
// After the runs the program prints each step and the whole as a share of the budget.
// The page's own script runs in the web process; browser_speed.sh measures the round trip.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "RunTimes.h"
#include "session/DraftStore.h"

using namespace vedris;

namespace {

constexpr int Items = 300;
constexpr double BudgetMs = 20;

// The reply of the page's read, as the bridge's script returns it.
std::string PageReply() {
    nlohmann::json elements = nlohmann::json::array();
    elements.push_back({{"tag", "form"}, {"name", "bench"}, {"value", ""}});
    for (int i = 1; i <= Items; ++i) {
        const std::string name = "I" + std::to_string(i) + ".R";
        const std::string answer = "Відповідь кандидата на питання " + std::to_string(i);
        switch (i % 5) {
        case 0:
            elements.push_back({{"tag", "input"},
                                {"type", "text"},
                                {"name", name},
                                {"value", answer},
                                {"checked", false}});
            break;
        case 1:
            elements.push_back(
                {{"tag", "textarea"}, {"name", name}, {"value", answer + "\n" + answer}});
            break;
        case 2:
        case 3:
            for (const char* v : {"a", "b", "c", "d"})
                elements.push_back({{"tag", "input"},
                                    {"type", i % 5 == 2 ? "radio" : "checkbox"},
                                    {"name", name},
                                    {"value", v},
                                    {"checked", v[0] == 'b'}});
            break;
        default: {
            nlohmann::json options = nlohmann::json::array();
            for (const char* v : {"", "один", "два", "три", "чотири"})
                options.push_back({{"value", v}, {"selected", std::string(v) == "два"}});
            elements.push_back(
                {{"tag", "select"}, {"name", name}, {"multiple", false}, {"options", options}});
        }
        }
    }
    nlohmann::json reply = {{"displayed", true},
                            {"verdict", true},
                            {"snapshot", {{"hasForm", true}, {"elements", elements}}}};
    return reply.dump();
}

struct Folder {
    Folder() {
        char tmpl[] = "/tmp/vedris-draft-bench-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string path;
};

Draft DraftOf(const nlohmann::json& reply) {
    return Draft{"bench", "BENCH", "2026-01-01T00:00:00", DraftStore::Now(), reply.at("snapshot")};
}

void Parse(benchmark::State& state) {
    const std::string text = PageReply();
    for (auto _ : state)
        benchmark::DoNotOptimize(nlohmann::json::parse(text));
    state.counters["reply_KB"] = static_cast<double>(text.size()) / 1024;
}

void Serialise(benchmark::State& state) {
    const Draft draft = DraftOf(nlohmann::json::parse(PageReply()));
    for (auto _ : state)
        benchmark::DoNotOptimize(DraftStore::Serialize(draft));
}

void DurableWrite(benchmark::State& state) {
    Folder folder;
    DraftStore store(folder.path + "/");
    const Draft draft = DraftOf(nlohmann::json::parse(PageReply()));
    for (auto _ : state)
        store.Write(draft);
}

// Everything the main thread does for one draft once the page has answered.
void WholeDraft(benchmark::State& state) {
    Folder folder;
    DraftStore store(folder.path + "/");
    const std::string text = PageReply();
    for (auto _ : state)
        store.Write(DraftOf(nlohmann::json::parse(text)));
}

BENCHMARK(Parse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Serialise)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DurableWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WholeDraft)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::RunTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nDraft of the %d-item page against the %.0f ms budget of the main thread:\n",
                Items, BudgetMs);
    for (const char* name : {"Parse", "Serialise", "DurableWrite", "WholeDraft"}) {
        const double ms = reporter.Time(std::string(name) + "/real_time");
        if (ms < 0) {
            std::printf("  %-14s n/a (not run)\n", name);
            continue;
        }
        const double ratio = ms / BudgetMs;
        std::printf("  %-14s %7.2f ms  ratio %5.2f%s\n", name, ms, ratio,
                    std::string(name) == "WholeDraft"
                        ? (ratio <= 1 ? "  (target <= 1: met)" : "  (target <= 1: MISSED)")
                        : "");
    }
    return 0;
}
