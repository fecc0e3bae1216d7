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
    // Parsing is most of the work; the walk and the storing share a processor between them.
    if (parsers == 0)
        parsers = std::clamp(std::thread::hardware_concurrency(), 2u, 5u) - 1;
    walker_ = std::thread([this, kind, path = std::move(path)] { walk(kind, path); });
    for (unsigned i = 0; i < parsers; ++i)
        parsers_.emplace_back([this] { parse(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    room_.notify_all();
    work_.notify_all();
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
    work_.notify_all();
    ready_.notify_one();
}

void ReadAhead::add(Prepared&& prepared, std::string bytes, bool toParse) {
    std::unique_lock lock(mutex_);
    if (added_ - taken_ >= Capacity) {
        walkWaits_ = true;
        room_.wait(lock, [this] { return roomEnough(); });
        walkWaits_ = false;
    }
    if (stopped_)
        throw Stopped{};
    Slot& slot = slots_[added_++];
    slot.prepared = std::move(prepared);
    slot.bytes = std::move(bytes);
    if (!toParse)
        return markReady(slot);
    toParse_.push_back(added_ - 1);
    lock.unlock();
    work_.notify_one();
}

// Under the lock.
void ReadAhead::markReady(Slot& slot) {
    slot.ready = true;
    for (auto at = slots_.find(readyUpTo_); at != slots_.end() && at->second.ready;
         at = slots_.find(readyUpTo_))
        ++readyUpTo_;
    if (importWaits_ && readyEnough())
        ready_.notify_one();
}

void ReadAhead::parse() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopped_ || walked_ || !toParse_.empty(); });
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
        markReady(slot);
    }
}

bool ReadAhead::next(Prepared& out) {
    std::unique_lock lock(mutex_);
    if (readyUpTo_ == taken_) {
        importWaits_ = true;
        ready_.wait(lock, [this] { return readyEnough(); });
        importWaits_ = false;
    }
    if (readyUpTo_ == taken_) {
        if (error_)
            std::rethrow_exception(std::exchange(error_, nullptr));
        return false;
    }
    auto found = slots_.find(taken_++);
    std::exception_ptr error = found->second.error;
    out = std::move(found->second.prepared);
    slots_.erase(found);
    bool wake = walkWaits_ && roomEnough();
    lock.unlock();
    if (wake)
        room_.notify_one();
    if (error)
        std::rethrow_exception(error);
    return true;
}

} // namespace vedris::results
