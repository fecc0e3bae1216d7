// One results file read, checked and stored the way vedris-results imports it, into a
// database in memory: no crash, no hang, no unbounded memory on any input, and what is
// accepted is stored whole.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Database.h"
#include "ResultsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vedris::results;
    static std::unique_ptr<Database> db = Database::open(":memory:");
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadOutcome read = readResultsFile(bytes, "fuzz");
    if (read.kind != ReadOutcome::Accepted) {
        if (read.reason.empty())
            std::abort(); // a refusal must say why
        return 0;
    }
    db->begin();
    FileRow row{db->addSource("fuzz", "file", ""), "fuzz", "", "", "", "|", sha256Hex(bytes)};
    int64_t fileId = db->addFile(row);
    for (const ResultRecord& result : read.results)
        db->addResult(fileId, row.origin, result);
    db->supersede();
    db->rollback();
    return 0;
}
