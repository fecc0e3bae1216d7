#include "Sqlite.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "Texts.h"

namespace vedris::results {

void SqliteCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

void StatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(sqlite3_errmsg(db));
    statement_.reset(raw);
}

Statement& Statement::bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t number) {
    sqlite3_bind_int64(statement_.get(), index, number);
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw DbError(sqlite3_errmsg(db_));
}

void Statement::reset() {
    sqlite3_reset(statement_.get());
}

std::string Statement::text(int column) const {
    const unsigned char* data = sqlite3_column_text(statement_.get(), column);
    if (!data)
        return {};
    return std::string(reinterpret_cast<const char*>(data),
                       static_cast<size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

namespace {

// A file: address for SQLite, with the characters it would take for its own escaped.
std::string fileUri(const std::string& path) {
    std::string uri = "file:";
    for (unsigned char c : std::filesystem::absolute(path).string()) {
        if (c == '%' || c == '?' || c == '#' || c < ' ') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri;
}

sqlite3* open(const std::string& name, int flags) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string reason = raw ? sqlite3_errmsg(raw) : texts::NoSuchDatabase;
        sqlite3_close_v2(raw);
        throw DbError(reason);
    }
    sqlite3_busy_timeout(raw, 5000);
    return raw;
}

} // namespace

Connection Connection::openReadOnly(const std::string& path) {
    // SQLite would report a missing file only as "unable to open"; say what is wrong.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw DbError(texts::NoSuchDatabase);
    Connection connection(open(path, SQLITE_OPEN_READONLY));
    // A database in WAL mode needs its -shm file beside it, which a reader cannot make on
    // a stick mounted read-only or in another user's folder. Nobody writes such a copy, so
    // it is read as it stands.
    int probe = sqlite3_exec(connection.handle(), "SELECT 1 FROM sqlite_master LIMIT 1", nullptr,
                             nullptr, nullptr);
    if (probe == SQLITE_CANTOPEN || probe == SQLITE_READONLY)
        connection = Connection(
            open(fileUri(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI));
    // The grouping tables of an export go to a file-backed temporary store, so memory stays
    // flat however many distinct free-text answers there are.
    connection.execute("PRAGMA temp_store = FILE");
    return connection;
}

void Connection::execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db_.get());
        sqlite3_free(error);
        throw DbError(message);
    }
}

} // namespace vedris::results
