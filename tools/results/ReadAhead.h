#pragma once
// Reading a source ahead of the import: one thread walks the source (folder, archive, mail)
// and parsing threads hash and parse the files it found, while the import stores what came
// before on its own thread. The import gets them back in source order. At most a few dozen
// files are in flight at any time, so the memory does not grow with the source.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ResultsFile.h"
#include "Sources.h"

namespace vedris::results {

// One thing the source told: a candidate read (its bytes already dropped), a place it could
// not read, or how many candidates it holds.
struct Prepared {
    enum Kind { Read, Unreadable, Total };
    Kind kind = Read;
    Candidate candidate; // Read; place alone for Unreadable
    std::string sha256;  // of the candidate's bytes
    ReadOutcome outcome; // Read
    std::string reason;  // Unreadable
    size_t total = 0;    // Total
};

class ReadAhead {
public:
    // parsers: threads that hash and parse; 0 chooses by the processors the machine has,
    // leaving one to the walk and the storing.
    ReadAhead(SourceKind kind, std::string path, const SourceLimits& limits, unsigned parsers = 0);
    // Stops the threads (wherever they are in the source) and waits for them.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next thing in source order; false at the end. Raises what reading the source
    // raised (SourceError when it cannot be read as a whole) once what came before is taken.
    bool next(Prepared& out);

private:
    class Feeder;
    struct Stopped {};
    struct Slot {
        Prepared prepared;
        std::string bytes; // until parsed
        bool ready = false;
        std::exception_ptr error;
    };
    // Files in flight at most. A thread that has to wait sleeps until half of them can go:
    // waking it for each file would cost a switch of threads per file, as much as its work.
    static constexpr uint64_t Capacity = 32, Batch = Capacity / 2;

    void walk(SourceKind kind, const std::string& path); // the reading thread
    void parse();                                        // each parsing thread
    void add(Prepared&& prepared, std::string bytes = {}, bool toParse = false);
    void markReady(Slot& slot);
    bool roomEnough() const { return stopped_ || added_ - taken_ <= Capacity - Batch; }
    bool readyEnough() const {
        return readyUpTo_ - taken_ >= Batch || (walked_ && readyUpTo_ == added_);
    }

    SourceLimits limits_;
    std::mutex mutex_;
    // Each waits for its own: the walk for room, the parsers for work, the import for the
    // next file in order. A wake-up costs a system call, so only who can go on is woken.
    std::condition_variable room_, work_, ready_;
    std::map<uint64_t, Slot> slots_; // in flight, by their place in the source
    std::deque<uint64_t> toParse_;
    // Numbers in source order: added by the walk; every one below readyUpTo_ is ready;
    // taken by the import.
    uint64_t added_ = 0, readyUpTo_ = 0, taken_ = 0;
    bool walkWaits_ = false, importWaits_ = false;
    bool walked_ = false;
    bool stopped_ = false;
    std::exception_ptr error_;
    std::thread walker_;
    std::vector<std::thread> parsers_;
};

} // namespace vedris::results
