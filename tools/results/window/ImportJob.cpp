#include "ImportJob.h"

#include <sstream>

namespace vedris::results::window {

namespace {

// Thrown from the progress observer: the importer rolls the source back on any exception.
struct Cancelled {};

} // namespace

ImportJob::ImportJob(std::string database, std::vector<std::string> sources)
    : database_(std::move(database)), sources_(std::move(sources)) {
    progress_.sources = sources_.size();
    thread_ = std::thread([this] { run(); });
}

ImportJob::~ImportJob() {
    cancel();
    if (thread_.joinable())
        thread_.join();
}

ImportProgress ImportJob::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<SourceOutcome> ImportJob::outcomes() {
    if (thread_.joinable())
        thread_.join();
    return outcomes_;
}

void ImportJob::run() {
    std::unique_ptr<Database> db;
    std::string openError;
    try {
        db = Database::open(database_);
    } catch (const std::exception& e) {
        openError = e.what();
    }
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (!db) {
            outcomes_.push_back({sources_[i], SourceOutcome::Failed, {}, 0, openError});
            continue;
        }
        if (cancelled_) {
            outcomes_.push_back({sources_[i], SourceOutcome::NotStarted, {}, 0, {}});
            continue;
        }
        outcomes_.push_back(importOne(*db, i));
    }
    finished_ = true;
}

SourceOutcome ImportJob::importOne(Database& db, size_t index) {
    SourceOutcome outcome{sources_[index], SourceOutcome::Imported, {}, 0, {}};
    {
        std::lock_guard lock(mutex_);
        progress_ = {index + 1, sources_.size(), sources_[index], 0, 0};
    }
    Progress progress(false);
    progress.setObserver([this](size_t done, size_t total) {
        {
            std::lock_guard lock(mutex_);
            progress_.done = done;
            progress_.total = total;
        }
        if (cancelled_)
            throw Cancelled{};
    });
    // The refusals are stored in the database, where the window reads them.
    std::ostringstream quiet;
    Importer importer(db, "", progress, quiet);
    try {
        outcome.counts = importer.importSource(sources_[index]);
        Statement last(db.handle(), "SELECT MAX(id) FROM source", db.path());
        if (last.step())
            outcome.sourceId = last.number(0);
    } catch (const Cancelled&) {
        outcome.kind = SourceOutcome::Cancelled;
    } catch (const std::exception& e) {
        outcome.kind = SourceOutcome::Failed;
        outcome.error = oneLine(e.what());
    }
    return outcome;
}

} // namespace vedris::results::window
