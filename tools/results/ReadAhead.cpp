#include "ReadAhead.h"

#include <algorithm>
#include <utility>

namespace vedris::results {

class ReadAhead::Feeder : public CandidateSink {
public:
    explicit Feeder(ReadAhead& owner) : owner_(owner) {}

    void take(Candidate& candidate) override {
        std::string bytes = std::move(candidate.bytes);
        Prepared p;
        p.candidate = std::move(candidate);
        owner_.add(std::move(p), std::move(bytes), true);
    }

    void refuse(const std::string& place, const std::string& reason) override {
        Prepared p;
        p.kind = Prepared::Unreadable;
        p.candidate.place = place;
        p.reason = reason;
        owner_.add(std::move(p));
    }

    void expect(size_t total) override {
        Prepared p;
        p.kind = Prepared::Total;
        p.total = total;
        owner_.add(std::move(p));
    }

private:
    ReadAhead& owner_;
};

ReadAhead::ReadAhead(SourceKind kind, std::string path, const SourceLimits& limits,
                     unsigned parsers)
    : limits_(limits) {
    // Parsing is most of the work; the walk and the storing take a processor between them.
    if (parsers == 0)
        parsers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    walker_ = std::thread([this, kind, path = std::move(path)] { walk(kind, path); });
    for (unsigned i = 0; i < parsers; ++i)
        parsers_.emplace_back([this] { parse(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
    walker_.join();
    for (std::thread& parser : parsers_)
        parser.join();
}

void ReadAhead::walk(SourceKind kind, const std::string& path) {
    std::exception_ptr error;
    try {
        Feeder feeder(*this);
        readSource(kind, path, feeder, limits_);
    } catch (const Stopped&) {
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(mutex_);
        walked_ = true;
        error_ = error;
    }
    changed_.notify_all();
}

void ReadAhead::add(Prepared&& prepared, std::string bytes, bool toParse) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stopped_ || added_ - taken_ < Capacity; });
        if (stopped_)
            throw Stopped{};
        Slot& slot = slots_[added_];
        slot.prepared = std::move(prepared);
        slot.bytes = std::move(bytes);
        slot.ready = !toParse;
        if (toParse)
            toParse_.push_back(added_);
        ++added_;
    }
    changed_.notify_all();
}

void ReadAhead::parse() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopped_ || walked_ || !toParse_.empty(); });
        if (stopped_ || toParse_.empty())
            return;
        // Nobody else touches a slot until it is ready, and the map keeps its place.
        Slot& slot = slots_[toParse_.front()];
        toParse_.pop_front();
        std::string bytes = std::move(slot.bytes);
        lock.unlock();
        Prepared& p = slot.prepared;
        std::exception_ptr error;
        try {
            p.sha256 = sha256Hex(bytes);
            p.outcome = readResultsFile(bytes, p.candidate.place, limits_.file);
        } catch (...) {
            error = std::current_exception();
        }
        bytes = std::string();
        lock.lock();
        slot.error = error;
        slot.ready = true;
        changed_.notify_all();
    }
}

bool ReadAhead::nextReady() const {
    auto found = slots_.find(taken_);
    return found != slots_.end() && found->second.ready;
}

bool ReadAhead::next(Prepared& out) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return nextReady() || (walked_ && taken_ == added_); });
        if (!nextReady()) {
            if (error_)
                std::rethrow_exception(std::exchange(error_, nullptr));
            return false;
        }
        auto found = slots_.find(taken_);
        std::exception_ptr error = found->second.error;
        out = std::move(found->second.prepared);
        slots_.erase(found);
        ++taken_;
        if (error)
            std::rethrow_exception(error);
    }
    changed_.notify_all();
    return true;
}

} // namespace vedris::results
