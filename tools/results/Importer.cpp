#include "Importer.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>

#include "Messages.h"
#include "ReadAhead.h"

namespace vedris::results {

ImportCounts& ImportCounts::operator+=(const ImportCounts& other) {
    added += other.added;
    results += other.results;
    repeats += other.repeats;
    refused += other.refused;
    skipped += other.skipped;
    return *this;
}

Progress::Progress(bool shown)
    : shown_(shown), start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() {
    clear();
}

void Progress::restart() {
    done_ = total_ = 0;
    start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::step() {
    ++done_;
    if (observer_)
        observer_(done_, total_);
    if (!shown_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100) && done_ != total_)
        return;
    last_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    std::string rate = std::to_string(seconds > 0 ? long(double(done_) / seconds) : 0);
    std::string line =
        total_ ? text::format(msg::Progress, {std::to_string(done_), std::to_string(total_), rate})
               : text::format(msg::ProgressUnknownTotal, {std::to_string(done_), rate});
    std::cerr << "\r" << line << "\x1b[K" << std::flush;
    drawn_ = true;
}

void Progress::clear() {
    if (drawn_)
        std::cerr << "\r\x1b[K" << std::flush;
    drawn_ = false;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return path;
    std::string text = absolute.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// Stores what the reading thread prepared, in source order, on the import's own thread.
class Importer::Store {
public:
    Store(Importer& importer, int64_t sourceId) : in_(importer), sourceId_(sourceId) {}

    void handle(Prepared& p) {
        switch (p.kind) {
        case Prepared::Total:
            in_.progress_.setTotal(p.total);
            return;
        case Prepared::Unreadable:
            in_.progress_.step();
            return store(p.candidate.place, p.reason);
        case Prepared::Read:
            in_.progress_.step();
            return take(p);
        }
    }

    ImportCounts counts;
    std::vector<std::pair<std::string, std::string>> refusals;

private:
    void take(Prepared& p) {
        const Candidate& c = p.candidate;
        if (in_.db_.hasFile(p.sha256)) {
            ++counts.repeats;
            return;
        }
        const ReadOutcome& read = p.outcome;
        if (read.kind == ReadOutcome::NotResults && !c.named) {
            ++counts.skipped;
            return;
        }
        if (read.kind != ReadOutcome::Accepted)
            return store(c.place, read.reason, p.sha256);
        FileRow row{sourceId_, c.place, c.sender, c.sent, c.subject, origin(c), p.sha256};
        int64_t fileId = in_.db_.addFile(row);
        for (const ResultRecord& result : read.results)
            in_.db_.addResult(fileId, row.origin, result);
        ++counts.added;
        counts.results += read.results.size();
    }

    // Mail tells versions apart by who sent them; files by the operator's label and the
    // folder they lie in.
    std::string origin(const Candidate& c) const {
        return c.sender.empty() && c.sent.empty() ? in_.label_ + "|" + c.folder : c.sender;
    }

    // A file refused before (the same stick imported again) is listed once in the database,
    // and told again on the terminal.
    void store(const std::string& place, const std::string& reason, const std::string& sha = "") {
        if (!in_.db_.hasRefusal(sha, place, reason))
            in_.db_.addRefusal(sourceId_, place, reason, sha);
        refusals.emplace_back(place, reason);
        ++counts.refused;
    }

    Importer& in_;
    int64_t sourceId_;
};

Importer::Importer(Database& db, std::string label, Progress& progress, std::ostream& err,
                   SourceLimits limits)
    : db_(db), label_(std::move(label)), progress_(progress), err_(err), limits_(limits) {}

ImportCounts Importer::importSource(const std::string& given) {
    std::string path = absolutePath(given);
    SourceKind kind = detectKind(path);
    progress_.restart();
    db_.begin();
    std::unique_ptr<Store> store;
    try {
        store = std::make_unique<Store>(*this, db_.addSource(path, kindName(kind), label_));
        // Leaving this block, however, stops the reader before the rollback.
        ReadAhead reader(kind, path, limits_);
        Prepared next;
        while (reader.next(next))
            store->handle(next);
        db_.supersede();
        db_.commit();
    } catch (...) {
        db_.rollback();
        throw;
    }
    progress_.clear();
    for (const auto& [place, reason] : store->refusals)
        err_ << oneLine(text::format(msg::Refused, {place, reason})) << "\n";
    return store->counts;
}

} // namespace vedris::results
