#pragma once
// The collector's SQLite database: opening (the schema is made in a new file), WAL, one
// transaction per source, and the inserts of the import and the merge. Its tables are
// documented in the manual page, for analysts who query the file directly.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ResultsFile.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vedris::results {

// A failure of the database, with a Ukrainian message naming the file.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ConnectionDeleter {
    void operator()(sqlite3* db) const;
};
struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const;
};

// One prepared statement, reset after every use.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql, const std::string& fileName);
    Statement& bind(int index, const std::string& text);
    Statement& bind(int index, int64_t number);
    // Steps once: true when a row is there to read.
    bool step();
    // Steps to the end and resets.
    void run();
    void reset();
    std::string text(int column) const;
    int64_t number(int column) const;

private:
    void check(int code) const;
    std::unique_ptr<sqlite3_stmt, StatementDeleter> statement_;
    sqlite3* db_ = nullptr;
    std::string fileName_;
};

struct FileRow {
    int64_t sourceId = 0;
    std::string place, sender, sent, subject, origin, sha256;
};

class Database {
public:
    // Opens or creates the database file. Raises DatabaseError when it is not one of ours,
    // was made by a newer version, or cannot be opened.
    static std::unique_ptr<Database> open(const std::string& path);
    ~Database();

    const std::string& path() const { return path_; }
    sqlite3* handle() const { return db_.get(); }

    void begin();
    void commit();
    // Never raises: it runs while another failure is on its way out.
    void rollback() noexcept;
    void exec(const char* sql);

    int64_t addSource(const std::string& path, const std::string& kind, const std::string& label);
    bool hasFile(const std::string& sha256);
    int64_t addFile(const FileRow& file);
    // A refusal of bytes with this SHA-256 is stored already; for a place refused before its
    // bytes were read (sha256 ""), the same place with the same reason.
    bool hasRefusal(const std::string& sha256, const std::string& place, const std::string& reason);
    void addRefusal(int64_t sourceId, const std::string& place, const std::string& reason,
                    const std::string& sha256 = "");
    // Stores a result with its responses and values, and remembers its origin and assessment
    // so that supersede() settles which version is newest.
    void addResult(int64_t fileId, const std::string& origin, const ResultRecord& result);
    // Marks, for every origin and assessment touched since the last call, every result that
    // has a later one of the same origin and assessment.
    void supersede();

private:
    Database(std::string path, sqlite3* db);
    void prepare();
    void createSchema();
    Statement& batch(std::map<size_t, Statement>& cache, const char* head, const char* row,
                     size_t rows);
    void addResponses(int64_t resultId, const std::vector<ResponseRecord>& responses);
    void addValues(int64_t firstId, const std::vector<ResponseRecord>& responses);

    static constexpr size_t BatchRows = 32;
    static constexpr size_t MarkEvery = 1024;

    std::string path_;
    std::unique_ptr<sqlite3, ConnectionDeleter> db_;
    Statement insertSource_, findFile_, insertFile_, insertRefusal_, findRefusal_, insertResult_,
        markSuperseded_;
    std::map<size_t, Statement> responseBatches_, valueBatches_;
    int64_t nextResponseId_ = 0; // 0: read from the table at the first response of a transaction
    std::set<std::pair<std::string, std::string>> touched_; // origin, assessment
};

// Local time now as 'YYYY-MM-DDTHH:MM:SS'.
std::string localTimeNow();

} // namespace vedris::results
