// Exports of vedris-results at two sizes of database: time and peak memory of each kind of
// export (XLSX, CSV, HTML), each run in a child process of its own so that its peak resident
// set is its own. Every result answers 10 items: a single choice, a multiple choice and a
// free text that differs from result to result (the worst case for grouping answers).
//
//   bench_results_export_bench           1,000 against 10,000 results (short)
//   bench_results_export_bench --full    10,000 against 100,000 results
//
// It prints, per kind, the processor time and peak memory at the smaller (S) and the larger
// (L) size, how time grows (10 means linear) and how peak memory grows (1 means
// flat) from the smaller to the larger database.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "Export.h"
#include "Schema.h"

using namespace vedris::results;

namespace {

constexpr int Items = 10;
const char* const Choices[] = {"A", "B", "C", "D"};

struct Measure {
    double seconds = 0;
    long peakKb = 0;
};

// Runs work in a child process; its processor time (user and system: the machine may be
// shared, so wall time says little) and peak resident set. The child's status must be 0.
Measure inChild(const std::function<int()>& work) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        std::freopen("/dev/null", "w", stderr);
        std::_Exit(work());
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the child failed");
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
}

struct Inserter {
    sqlite3* db;
    sqlite3_stmt* statement = nullptr;
    Inserter(sqlite3* d, const char* sql) : db(d) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Inserter() { sqlite3_finalize(statement); }
    sqlite3_int64 run(const std::vector<std::string>& texts) {
        for (size_t i = 0; i < texts.size(); ++i)
            sqlite3_bind_text(statement, int(i + 1), texts[i].c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db));
        sqlite3_reset(statement);
        return sqlite3_last_insert_rowid(db);
    }
};

void addResult(Inserter& file, Inserter& result, Inserter& response, Inserter& value, int n) {
    std::string place = "/zbir/" + std::to_string(n % 100) + "/" + std::to_string(n) + ".xml";
    auto f = file.run({place, "Школа " + std::to_string(n % 100), std::to_string(n)});
    auto r = result.run({std::to_string(f), "2024-05-01T10:00:00"});
    int position = 0;
    for (int k = 0; k < Items; ++k) {
        std::string item = "Q" + std::to_string(k), rid = std::to_string(r);
        auto single = response.run({rid, item, "ONE", std::to_string(position++)});
        value.run({std::to_string(single), "0", Choices[(n + k) % 4]});
        auto multi = response.run({rid, item, "MANY", std::to_string(position++)});
        value.run({std::to_string(multi), "0", Choices[n % 4]});
        value.run({std::to_string(multi), "1", Choices[(n + 1) % 4]});
        auto text = response.run({rid, item, "TEXT", std::to_string(position++)});
        value.run({std::to_string(text), "0", "Відповідь №" + std::to_string(n) + " на " + item});
    }
}

int fill(const std::string& path, int results) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    exec(db, "PRAGMA synchronous = OFF");
    exec(db, CollectorSchemaSql);
    exec(db, "INSERT INTO source VALUES (1, '/zbir', 'folder', '', '2024-06-01T09:00:00')");
    exec(db, "BEGIN");
    {
        Inserter file(db, "INSERT INTO file (source_id, place, origin, sha256) "
                          "VALUES (1, ?1, ?2, ?3)");
        Inserter result(db, "INSERT INTO result (file_id, assessment, datetime) "
                            "VALUES (?1, 'BENCH', ?2)");
        Inserter response(db, "INSERT INTO response (result_id, item, response, position, "
                              "status) VALUES (?1, ?2, ?3, ?4, 'Valid')");
        Inserter value(db, "INSERT INTO response_value VALUES (?1, ?2, ?3)");
        for (int n = 0; n < results; ++n)
            addResult(file, result, response, value, n);
    }
    exec(db, "COMMIT");
    sqlite3_close(db);
    return 0;
}

ExportOptions optionsFor(const std::string& kind, const std::string& db,
                         const std::filesystem::path& out) {
    ExportOptions options;
    options.database = db;
    if (kind == "xlsx")
        options.xlsx = (out / "t.xlsx").string();
    else if (kind == "csv")
        options.csvFolder = (out / "csv").string();
    else
        options.html = (out / "t.html").string();
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
    const int small = full ? 10'000 : 1'000, large = small * 10;
    std::string tmpl = (std::filesystem::temp_directory_path() / "vedris-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return 1;
    const std::filesystem::path folder = tmpl;
    const std::string dbs[] = {(folder / "small.db").string(), (folder / "large.db").string()};
    std::printf("Filling %d and %d results (%d items, 3 responses each)...\n", small, large, Items);
    inChild([&] { return fill(dbs[0], small); });
    inChild([&] { return fill(dbs[1], large); });

    std::printf("%-6s %10s %10s %8s %10s %10s %8s\n", "export", "cpu s S", "cpu s L", "ratio",
                "peak KB S", "peak KB L", "ratio");
    bool flat = true;
    for (const char* kind : {"xlsx", "csv", "html"}) {
        Measure m[2];
        for (int i = 0; i < 2; ++i)
            m[i] = inChild([&] { return runExport(optionsFor(kind, dbs[i], folder)); });
        double timeRatio = m[1].seconds / m[0].seconds;
        double memoryRatio = double(m[1].peakKb) / double(m[0].peakKb);
        flat = flat && memoryRatio < 1.5;
        std::printf("%-6s %10.2f %10.2f %8.2f %10ld %10ld %8.2f\n", kind, m[0].seconds,
                    m[1].seconds, timeRatio, m[0].peakKb, m[1].peakKb, memoryRatio);
    }
    std::printf("\nTime ratio 10 is linear; peak memory ratio 1 is flat (target < 1.5): %s\n",
                flat ? "memory stays flat" : "MEMORY GROWS");
    std::filesystem::remove_all(folder);
    return flat ? 0 : 1;
}
