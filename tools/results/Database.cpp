#include "Database.h"

#include <algorithm>
#include <ctime>
#include <sqlite3.h>

#include "Messages.h"

namespace vedris::results {

namespace {

constexpr int SchemaVersion = 1;

// The agreed tables, plus what the import adds for itself: result.datetime_key (the datetime
// as a sortable text, '' for a result never submitted), refusal.sha256 (of the refused bytes,
// '' when none were read, so that importing the same stick again lists a refusal once) and
// the indexes that find a version's siblings and a refused file.
constexpr const char* Schema = R"sql(
CREATE TABLE source (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL,
  kind TEXT NOT NULL,
  label TEXT NOT NULL DEFAULT '',
  imported_at TEXT NOT NULL
);
CREATE TABLE file (
  id INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES source(id),
  place TEXT NOT NULL,
  sender TEXT NOT NULL DEFAULT '',
  sent TEXT NOT NULL DEFAULT '',
  subject TEXT NOT NULL DEFAULT '',
  origin TEXT NOT NULL,
  sha256 TEXT NOT NULL UNIQUE
);
CREATE TABLE refusal (
  id INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES source(id),
  place TEXT NOT NULL,
  reason TEXT NOT NULL,
  sha256 TEXT NOT NULL DEFAULT ''
);
CREATE TABLE result (
  id INTEGER PRIMARY KEY,
  file_id INTEGER NOT NULL REFERENCES file(id),
  assessment TEXT NOT NULL,
  datetime TEXT NOT NULL,
  superseded INTEGER NOT NULL DEFAULT 0,
  datetime_key TEXT NOT NULL DEFAULT ''
);
CREATE TABLE response (
  id INTEGER PRIMARY KEY,
  result_id INTEGER NOT NULL REFERENCES result(id),
  item TEXT NOT NULL,
  response TEXT NOT NULL,
  position INTEGER NOT NULL,
  status TEXT NOT NULL
);
CREATE TABLE response_value (
  response_id INTEGER NOT NULL REFERENCES response(id),
  position INTEGER NOT NULL,
  value TEXT NOT NULL
);
CREATE INDEX result_by_assessment ON result(assessment, superseded);
CREATE INDEX response_by_result ON response(result_id);
CREATE INDEX value_by_response ON response_value(response_id);
CREATE INDEX result_by_file ON result(file_id);
CREATE INDEX file_by_origin ON file(origin);
CREATE INDEX refusal_by_sha ON refusal(sha256);
PRAGMA user_version = 1;
)sql";

// Every result of the group gets 1 exactly when a later one of the group exists. The group is
// found through the origin's files (CROSS JOIN keeps that order): an assessment may have
// tens of thousands of results, an origin a handful.
constexpr const char* MarkSuperseded = R"sql(
UPDATE result SET superseded = EXISTS (
    SELECT 1 FROM file AS f CROSS JOIN result AS later
    WHERE f.origin = ?1 AND later.file_id = f.id AND +later.assessment = ?2
      AND later.datetime_key > result.datetime_key)
WHERE id IN (SELECT r.id FROM file AS f CROSS JOIN result AS r
             WHERE f.origin = ?1 AND r.file_id = f.id AND +r.assessment = ?2)
)sql";

} // namespace

void ConnectionDeleter::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}
void StatementDeleter::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

Statement::Statement(sqlite3* db, const char* sql, const std::string& fileName)
    : db_(db), fileName_(fileName) {
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    statement_.reset(raw);
    check(code);
}

void Statement::check(int code) const {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE)
        throw DatabaseError(text::format(msg::DatabaseFailed, {fileName_, sqlite3_errmsg(db_)}));
}

Statement& Statement::bind(int index, const std::string& text) {
    // The texts bound live until the statement has run (every caller steps it at once).
    check(sqlite3_bind_text(statement_.get(), index, text.data(), int(text.size()), SQLITE_STATIC));
    return *this;
}

Statement& Statement::bind(int index, int64_t number) {
    check(sqlite3_bind_int64(statement_.get(), index, number));
    return *this;
}

bool Statement::step() {
    int code = sqlite3_step(statement_.get());
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        sqlite3_reset(statement_.get());
        check(code);
    }
    return code == SQLITE_ROW;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(statement_.get());
}

std::string Statement::text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              size_t(sqlite3_column_bytes(statement_.get(), column)))
                : std::string();
}

int64_t Statement::number(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

Database::Database(std::string path, sqlite3* db) : path_(std::move(path)), db_(db) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path) {
    // Memory statistics take a global lock at every allocation and nothing here reads them.
    // Only possible before the library starts; later calls are refused and change nothing.
    static const int noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)noStatistics;
    sqlite3* raw = nullptr;
    int code =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<Database> db(new Database(path, raw));
    if (code != SQLITE_OK)
        throw DatabaseError(text::format(msg::DatabaseOpenFailed,
                                         {path, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code)}));
    sqlite3_busy_timeout(raw, 10'000);
    try {
        db->exec("PRAGMA journal_mode = WAL");
        db->exec("PRAGMA synchronous = NORMAL");
        // A source of thousands of files is one transaction: a cache of 8 MB holds the pages
        // the inserts keep growing, so they are not spilled to the log again and again, and
        // the memory stays the same however many files come.
        db->exec("PRAGMA cache_size = -8192");
        db->createSchema();
    } catch (const DatabaseError& e) {
        throw DatabaseError(text::format(msg::DatabaseOpenFailed, {path, e.what()}));
    }
    db->prepare();
    return db;
}

void Database::createSchema() {
    Statement version(db_.get(), "PRAGMA user_version", path_);
    version.step();
    int64_t found = version.number(0);
    version.reset();
    if (found > SchemaVersion)
        throw DatabaseError(text::format(msg::DatabaseNewer, {path_, std::to_string(found)}));
    if (found == SchemaVersion)
        return;
    Statement tables(db_.get(), "SELECT count(*) FROM sqlite_master", path_);
    tables.step();
    if (tables.number(0) != 0)
        throw DatabaseError(text::format(msg::NotOurDatabase, {path_}));
    tables.reset();
    begin();
    try {
        exec(Schema);
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void Database::prepare() {
    sqlite3* db = db_.get();
    insertSource_ = Statement(
        db, "INSERT INTO source (path, kind, label, imported_at) VALUES (?, ?, ?, ?)", path_);
    findFile_ = Statement(db, "SELECT 1 FROM file WHERE sha256 = ?", path_);
    insertFile_ = Statement(db,
                            "INSERT INTO file (source_id, place, sender, sent, subject, origin, "
                            "sha256) VALUES (?, ?, ?, ?, ?, ?, ?)",
                            path_);
    insertRefusal_ = Statement(
        db, "INSERT INTO refusal (source_id, place, reason, sha256) VALUES (?, ?, ?, ?)", path_);
    findRefusal_ = Statement(db,
                             "SELECT 1 FROM refusal WHERE sha256 = ?1 AND (?1 != '' OR "
                             "(place = ?2 AND reason = ?3))",
                             path_);
    insertResult_ = Statement(
        db, "INSERT INTO result (file_id, assessment, datetime, datetime_key) VALUES (?, ?, ?, ?)",
        path_);
    markSuperseded_ = Statement(db, MarkSuperseded, path_);
}

void Database::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : sqlite3_errmsg(db_.get());
        sqlite3_free(error);
        throw DatabaseError(text::format(msg::DatabaseFailed, {path_, text}));
    }
}

void Database::begin() {
    touched_.clear();
    nextResponseId_ = 0;
    exec("BEGIN IMMEDIATE");
}

void Database::commit() {
    exec("COMMIT");
}

void Database::rollback() noexcept {
    touched_.clear();
    nextResponseId_ = 0;
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

int64_t Database::addSource(const std::string& path, const std::string& kind,
                            const std::string& label) {
    insertSource_.bind(1, path).bind(2, kind).bind(3, label).bind(4, localTimeNow()).run();
    return sqlite3_last_insert_rowid(db_.get());
}

bool Database::hasFile(const std::string& sha256) {
    bool found = findFile_.bind(1, sha256).step();
    findFile_.reset();
    return found;
}

int64_t Database::addFile(const FileRow& f) {
    insertFile_.bind(1, f.sourceId).bind(2, f.place).bind(3, f.sender).bind(4, f.sent);
    insertFile_.bind(5, f.subject).bind(6, f.origin).bind(7, f.sha256).run();
    return sqlite3_last_insert_rowid(db_.get());
}

bool Database::hasRefusal(const std::string& sha256, const std::string& place,
                          const std::string& reason) {
    bool found = findRefusal_.bind(1, sha256).bind(2, place).bind(3, reason).step();
    findRefusal_.reset();
    return found;
}

void Database::addRefusal(int64_t sourceId, const std::string& place, const std::string& reason,
                          const std::string& sha256) {
    insertRefusal_.bind(1, sourceId).bind(2, place).bind(3, reason).bind(4, sha256).run();
}

void Database::addResult(int64_t fileId, const std::string& origin, const ResultRecord& result) {
    std::string key = datetimeKey(result.datetime);
    insertResult_.bind(1, fileId).bind(2, result.assessment).bind(3, result.datetime);
    insertResult_.bind(4, key).run();
    int64_t resultId = sqlite3_last_insert_rowid(db_.get());
    addResponses(resultId, result.responses);
    touched_.emplace(origin, result.assessment);
    // Marked now and then rather than all at the end, so the set stays small however many
    // files a source holds; a group touched again later is marked again then.
    if (touched_.size() >= MarkEvery)
        supersede();
}

// Rows go in several to a statement, with the response ids given rather than asked back: a
// results file has hundreds of rows, and a statement per row costs as much as the row.
Statement& Database::batch(std::map<size_t, Statement>& cache, const char* head, const char* row,
                           size_t rows) {
    auto found = cache.find(rows);
    if (found != cache.end())
        return found->second;
    std::string sql = head;
    for (size_t i = 0; i < rows; ++i)
        sql += (i ? "," : "") + std::string(row);
    return cache.emplace(rows, Statement(db_.get(), sql.c_str(), path_)).first->second;
}

void Database::addResponses(int64_t resultId, const std::vector<ResponseRecord>& responses) {
    static const std::string Valid = "Valid", NA = "NA";
    if (nextResponseId_ == 0) {
        Statement last(db_.get(), "SELECT coalesce(max(id), 0) FROM response", path_);
        last.step();
        nextResponseId_ = last.number(0) + 1;
    }
    int64_t firstId = nextResponseId_;
    for (size_t start = 0; start < responses.size(); start += BatchRows) {
        size_t rows = std::min(BatchRows, responses.size() - start);
        Statement& s = batch(responseBatches_,
                             "INSERT INTO response (id, result_id, item, response, position, "
                             "status) VALUES ",
                             "(?,?,?,?,?,?)", rows);
        int p = 0;
        for (size_t i = start; i < start + rows; ++i) {
            const ResponseRecord& r = responses[i];
            s.bind(p + 1, firstId + int64_t(i)).bind(p + 2, resultId).bind(p + 3, r.item);
            s.bind(p + 4, r.response).bind(p + 5, int64_t(i)).bind(p + 6, r.valid ? Valid : NA);
            p += 6;
        }
        s.run();
    }
    nextResponseId_ += int64_t(responses.size());
    addValues(firstId, responses);
}

void Database::addValues(int64_t firstId, const std::vector<ResponseRecord>& responses) {
    struct Row {
        int64_t response, position;
        const std::string* value;
    };
    std::vector<Row> rows;
    rows.reserve(responses.size() * 2);
    for (size_t i = 0; i < responses.size(); ++i)
        for (size_t k = 0; k < responses[i].values.size(); ++k)
            rows.push_back({firstId + int64_t(i), int64_t(k), &responses[i].values[k]});
    for (size_t start = 0; start < rows.size(); start += BatchRows) {
        size_t count = std::min(BatchRows, rows.size() - start);
        Statement& s = batch(valueBatches_,
                             "INSERT INTO response_value (response_id, position, value) VALUES ",
                             "(?,?,?)", count);
        int p = 0;
        for (size_t i = start; i < start + count; ++i, p += 3)
            s.bind(p + 1, rows[i].response)
                .bind(p + 2, rows[i].position)
                .bind(p + 3, *rows[i].value);
        s.run();
    }
}

void Database::supersede() {
    for (const auto& [origin, assessment] : touched_)
        markSuperseded_.bind(1, origin).bind(2, assessment).run();
    touched_.clear();
}

std::string localTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace vedris::results
