#pragma once
// The import of the sources a person added, on a thread of its own so the window keeps
// answering. The window polls progress() and finished(); cancel() stops at the next file, and
// the source being imported is rolled back whole. Toolkit-free.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Importer.h"

namespace vedris::results::window {

struct SourceOutcome {
    enum Kind { Imported, Failed, Cancelled, NotStarted };
    std::string path;
    Kind kind = NotStarted;
    ImportCounts counts;
    int64_t sourceId = 0; // Imported only
    std::string error;    // Failed only: the reason, Ukrainian
};

struct ImportProgress {
    size_t source = 0, sources = 0; // 1-based number of the source under way
    std::string path;
    size_t done = 0, total = 0; // files of that source; total 0 when unknown (mail)
};

class ImportJob {
public:
    ImportJob(std::string database, std::vector<std::string> sources);
    // Cancels and waits: the source under way is rolled back.
    ~ImportJob();
    ImportJob(const ImportJob&) = delete;
    ImportJob& operator=(const ImportJob&) = delete;

    void cancel() { cancelled_ = true; }
    bool cancelling() const { return cancelled_; }
    bool finished() const { return finished_; }
    ImportProgress progress() const;
    // Once finished(): one outcome per source, in order.
    std::vector<SourceOutcome> outcomes();

private:
    void run();
    SourceOutcome importOne(Database& db, size_t index);

    std::string database_;
    std::vector<std::string> sources_;
    std::vector<SourceOutcome> outcomes_;
    mutable std::mutex mutex_;
    ImportProgress progress_;
    std::atomic<bool> cancelled_{false}, finished_{false};
    std::thread thread_;
};

} // namespace vedris::results::window
