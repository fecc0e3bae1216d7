#include "Importer.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>

#include "Messages.h"

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

class Importer::Sink : public CandidateSink {
public:
    Sink(Importer& importer, int64_t sourceId) : in_(importer), sourceId_(sourceId) {}

    void take(Candidate& c) override {
        in_.progress_.step();
        std::string sha = sha256Hex(c.bytes);
        if (in_.db_.hasFile(sha)) {
            ++counts.repeats;
            return;
        }
        ReadOutcome read = readResultsFile(c.bytes, c.place, in_.limits_.file);
        if (read.kind == ReadOutcome::NotResults && !c.named) {
            ++counts.skipped;
            return;
        }
        if (read.kind != ReadOutcome::Accepted)
            return store(c.place, read.reason, sha);
        FileRow row{sourceId_, c.place, c.sender, c.sent, c.subject, origin(c), sha};
        int64_t fileId = in_.db_.addFile(row);
        for (const ResultRecord& result : read.results)
            in_.db_.addResult(fileId, row.origin, result);
        ++counts.added;
        counts.results += read.results.size();
    }

    void expect(size_t total) override { in_.progress_.setTotal(total); }

    void refuse(const std::string& place, const std::string& reason) override {
        in_.progress_.step();
        store(place, reason);
    }

    ImportCounts counts;
    std::vector<std::pair<std::string, std::string>> refusals;

private:
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
    progress_.setTotal(0);
    db_.begin();
    std::unique_ptr<Sink> sink;
    try {
        sink = std::make_unique<Sink>(*this, db_.addSource(path, kindName(kind), label_));
        readSource(kind, path, *sink, limits_);
        db_.supersede();
        db_.commit();
    } catch (...) {
        db_.rollback();
        throw;
    }
    progress_.clear();
    for (const auto& [place, reason] : sink->refusals)
        err_ << oneLine(text::format(msg::Refused, {place, reason})) << "\n";
    return sink->counts;
}

} // namespace vedris::results
