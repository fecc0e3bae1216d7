#pragma once
// A thin owner of SQLite handles for reading the collector's database: statements step row
// by row, so an export holds one result at a time whatever the size of the database.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vedris::results {
// Its own names: the import side's Statement lives in vedris::results too, and both end up in
// one program.
inline namespace exportdb {

// A database that cannot be opened or read, with SQLite's own reason.
class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SqliteCloser {
    void operator()(sqlite3* db) const;
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    Statement& bind(int index, const std::string& text);
    Statement& bind(int index, std::int64_t number);
    // Moves to the next row; false after the last one. Raises DbError on failure.
    bool step();
    // Rewinds for new bindings; the bindings stay until bound again.
    void reset();
    // Text of a column; the empty text for NULL.
    std::string text(int column) const;
    std::int64_t integer(int column) const;

private:
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement_;
};

class Connection {
public:
    // Opens an existing file read-only (it is never created) with a private temporary store
    // for the export's own tables. Raises DbError when the file is missing or not SQLite.
    static Connection openReadOnly(const std::string& path);
    sqlite3* handle() const { return db_.get(); }
    // Runs statements that return no rows.
    void execute(const char* sql);

private:
    explicit Connection(sqlite3* db) : db_(db) {}
    std::unique_ptr<sqlite3, SqliteCloser> db_;
};

} // namespace exportdb
} // namespace vedris::results
