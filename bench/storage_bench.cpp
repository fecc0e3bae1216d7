// Binding a page to results.xml and submitting it, against the floor of reading and
// atomically writing that file once. Each assessment has N items, every item a radio group,
// a check-box group, a selection list, a one-line and a multi-line text response;
// results.xml holds ten other results of the same size (sharing the item idents, so every
// submission writes eleven responses per response) and this assessment's own, last.
//
//   bench_storage_bench [--benchmark_filter=...]
//
// After the runs the program prints binding and submission as multiples of the floor at
// 1,000 items, and how each grows from 1,000 to 5,000 items.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "QTIDomain/uStorageManager.h"
#include "RunTimes.h"
#include "platform/html/MemoryFormDocument.h"

using namespace vedris;

namespace {

const char* const Choices[] = {"А", "Б", "В", "Г"};

std::string ItemIdent(int k) {
    return "I" + std::to_string(k);
}

std::string MakeAssessment(int items) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<questestinterop>"
                    "<assessment ident=\"BENCH\" title=\"Анкета\"><section ident=\"S\">";
    std::string labels;
    for (const char* c : Choices)
        labels += std::string("<response_label ident=\"") + c + "\"><material><mattext>" + c +
                  "</mattext></material></response_label>";
    for (int k = 0; k < items; ++k) {
        x += "<item ident=\"" + ItemIdent(k) + "\"><presentation><flow>";
        x += "<response_lid ident=\"RAD\" rcardinality=\"Single\"><render_choice>" + labels +
             "</render_choice></response_lid>";
        x += "<response_lid ident=\"CHK\" rcardinality=\"Multiple\"><render_choice>" + labels +
             "</render_choice></response_lid>";
        x += "<response_str ident=\"SEL\"><render_choice>" + labels +
             "</render_choice></response_str>";
        x += "<response_str ident=\"TXT\"><render_fib rows=\"1\"/></response_str>";
        x += "<response_str ident=\"AREA\"><render_fib rows=\"5\"/></response_str>";
        x += "</flow></presentation></item>";
    }
    return x + "</section></assessment></questestinterop>\n";
}

std::string Value(const std::string& v) {
    return "<response_value response_status=\"Valid\">" + v + "</response_value>";
}

std::string MakeResult(const std::string& ident, int items) {
    std::string x = "<result><context><name>Кандидат</name><date><type_label>Submission"
                    "</type_label><datetime>2024-01-01T10:00:00</datetime></date></context>"
                    "<assessment_result ident_ref=\"" +
                    ident + "\"/>";
    for (int k = 0; k < items; ++k) {
        x += "<item_result ident_ref=\"" + ItemIdent(k) + "\">";
        x += "<response ident_ref=\"RAD\">" + Value("Б") + "</response>";
        x += "<response ident_ref=\"CHK\">" + Value("А") + Value("В") + "</response>";
        x += "<response ident_ref=\"SEL\">" + Value("Г") + "</response>";
        x += "<response ident_ref=\"TXT\">" + Value("відповідь " + std::to_string(k)) +
             "</response>";
        x += "<response ident_ref=\"AREA\">" +
             Value("Перший рядок відповіді.\nДругий рядок, трохи довший за перший.") +
             "</response>";
        x += "</item_result>";
    }
    return x + "</result>";
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// One generated assessment with its results and a filled form, per size.
struct Fixture {
    std::string assessment, results;
    html::MemoryFormDocument form;
};

std::filesystem::path& Folder() {
    static std::filesystem::path folder = [] {
        std::string t = (std::filesystem::temp_directory_path() / "vedris-bench-XXXXXX").string();
        if (!mkdtemp(t.data()))
            throw std::runtime_error("mkdtemp failed");
        return std::filesystem::path(t);
    }();
    return folder;
}

Fixture& Get(int items) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& f = fixtures[items];
    if (f)
        return *f;
    f = std::make_unique<Fixture>();
    std::string base = (Folder() / std::to_string(items)).string();
    f->assessment = base + "-assessment.xml";
    f->results = base + "-results.xml";
    Write(f->assessment, MakeAssessment(items));
    std::string report = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report>";
    for (int r = 0; r < 10; ++r)
        report += MakeResult("OTHER" + std::to_string(r), items);
    report += MakeResult("BENCH", items);
    Write(f->results, report + "</qti_result_report>\n");
    for (int k = 0; k < items; ++k) {
        std::string n = ItemIdent(k) + ".";
        for (int c = 0; c < 4; ++c)
            f->form.addInput(n + "RAD", "radio", Choices[c], c == k % 4);
        for (int c = 0; c < 4; ++c)
            f->form.addInput(n + "CHK", "checkbox", Choices[c], c != k % 4);
        std::vector<html::OptionState> options;
        for (int c = 0; c < 4; ++c)
            options.push_back({Choices[c], c == (k + 1) % 4});
        f->form.addSelect(n + "SEL", k % 2 == 1, options);
        f->form.addInput(n + "TXT", "text", "рядок " + std::to_string(k));
        f->form.addTextArea(n + "AREA", "Текст відповіді\nу два рядки " + std::to_string(k));
    }
    return *f;
}

void Floor(benchmark::State& state) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    std::string copy = f.results + ".floor";
    for (auto _ : state) {
        xml::Document doc = xml::Document::load(f.results);
        doc.save(copy);
    }
}

void Binding(benchmark::State& state) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TStorageManager m(f.assessment, f.results, &f.form);
        m.LoadResponses();
    }
}

void Submission(benchmark::State& state) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    // Its own copy of the results, so the other runs read the file as generated.
    std::string copy = f.results + ".submitted";
    std::filesystem::copy_file(f.results, copy, std::filesystem::copy_options::overwrite_existing);
    TStorageManager m(f.assessment, copy, &f.form);
    m.LoadResponses();
    for (auto _ : state)
        if (!m.SubmitResponses())
            state.SkipWithError("submission refused");
}

BENCHMARK(Floor)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Binding)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Submission)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    PrintRatio("binding / floor at 1,000 items", t("Binding/1000/real_time"),
               t("Floor/1000/real_time"), 3);
    PrintRatio("submission / floor at 1,000 items", t("Submission/1000/real_time"),
               t("Floor/1000/real_time"), 3);
    PrintRatio("binding 5,000 / 1,000 items", t("Binding/5000/real_time"),
               t("Binding/1000/real_time"), 6);
    PrintRatio("submission 5,000 / 1,000 items", t("Submission/5000/real_time"),
               t("Submission/1000/real_time"), 6);
    if (t("Floor/5000/real_time") > 0 && t("Floor/1000/real_time") > 0)
        std::printf("%-44s %6.2f  (for reference)\n", "floor 5,000 / 1,000 items",
                    t("Floor/5000/real_time") / t("Floor/1000/real_time"));

    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
    return 0;
}
