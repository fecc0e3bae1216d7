#pragma once
// The import: every candidate of a source checked, hashed and stored, the whole source in
// one transaction, so an interrupted or failed source leaves the database as it was before it.
// Other threads read and parse the source ahead (ReadAhead.h) while the calling thread stores;
// everything else (the database, the progress and its observer) stays on the calling thread.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "Database.h"
#include "Sources.h"

namespace vedris::results {

struct ImportCounts {
    size_t added = 0;   // new files
    size_t results = 0; // their results
    size_t repeats = 0; // files already in the database
    size_t refused = 0;
    size_t skipped = 0; // other XML in folders, archives and mail
    ImportCounts& operator+=(const ImportCounts& other);
};

// The progress line on standard error while it is a terminal: files done of total, rate.
class Progress {
public:
    explicit Progress(bool shown);
    ~Progress();
    void setTotal(size_t total) { total_ = total; }
    // A new source: nothing done of an unknown total, the rate counted from now.
    void restart();
    // Told after every file with the files done and the total (0 when unknown), for a
    // window's progress bar. It may throw to stop the source, which is then rolled back.
    void setObserver(std::function<void(size_t done, size_t total)> observer) {
        observer_ = std::move(observer);
    }
    void step();
    // Ends the line before other messages are printed.
    void clear();

private:
    bool shown_;
    size_t done_ = 0, total_ = 0;
    bool drawn_ = false;
    std::function<void(size_t, size_t)> observer_;
    std::chrono::steady_clock::time_point start_, last_;
};

class Importer {
public:
    // Refusals are printed to err (one line each) besides being stored.
    Importer(Database& db, std::string label, Progress& progress, std::ostream& err,
             SourceLimits limits = {});
    // Imports one source. Raises SourceError or DatabaseError when the source as a whole
    // could not be read or stored; the database is then as it was before it.
    ImportCounts importSource(const std::string& path);

private:
    class Store;
    Database& db_;
    std::string label_;
    Progress& progress_;
    std::ostream& err_;
    SourceLimits limits_;
};

// Line breaks inside a message (the XML engine's texts have them) become spaces.
std::string oneLine(std::string text);
// The path made absolute without resolving links, as places and the source table keep it.
std::string absolutePath(const std::string& path);

} // namespace vedris::results
